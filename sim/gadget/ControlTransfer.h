#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace tarnix::sim {

// The setup packet of a USB control transfer, as the kernel passes it to the gadget.
struct ControlSetup {
    static constexpr std::size_t kSize = 8;

    std::uint8_t requestType = 0;  // bmRequestType: direction, type (standard/class), recipient
    std::uint8_t request = 0;      // bRequest
    std::uint16_t value = 0;       // wValue
    std::uint16_t index = 0;       // wIndex
    std::uint16_t length = 0;      // wLength: the most the host sends or accepts in the data stage

    // From the 8 wire bytes (16-bit fields little-endian).
    static ControlSetup FromBytes(const std::uint8_t* bytes)
    {
        const auto le16 = [bytes](std::size_t at) {
            return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
        };
        return ControlSetup{bytes[0], bytes[1], le16(2), le16(4), le16(6)};
    }

    bool IsDeviceToHost() const { return (requestType & 0x80) != 0; }
};

// How the device ends a control transfer: data for the host (an IN transfer, cut to wLength when sent), an
// acknowledged status stage, or a stall.
struct ControlAnswer {
    enum class Kind { Data, Acknowledge, Stall };

    Kind kind = Kind::Stall;
    std::vector<std::uint8_t> data;

    static ControlAnswer WithData(std::vector<std::uint8_t> bytes) { return {Kind::Data, std::move(bytes)}; }
    static ControlAnswer Acknowledged() { return {Kind::Acknowledge, {}}; }
    static ControlAnswer Stalled() { return {Kind::Stall, {}}; }
};

}  // namespace tarnix::sim
