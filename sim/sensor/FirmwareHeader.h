#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sensor/Version.h"

namespace tarnix::sim {

class FlashMemory;

// The header by which the sensor's boot code recognises a valid application: the magic "TNXFW1" at flash
// offset kFirmwareHeaderOffset, then firmware major, minor, parameter schema major, minor as little-endian
// 16-bit numbers. A firmware without parameter support stores 0xFFFF for both schema numbers.
struct FirmwareHeader {
    static constexpr std::size_t kSize = 14;

    Version firmware;
    std::optional<Version> schema;

    // The header found in the flash, or nothing when the magic is not there.
    static std::optional<FirmwareHeader> ReadFrom(const FlashMemory& flash);
    static std::optional<FirmwareHeader> Decode(const std::uint8_t* bytes, std::size_t length);
    std::vector<std::uint8_t> Encode() const;
};

}  // namespace tarnix::sim
