#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnix::platform {

// A 128-bit class identifier as the device manager uses them for interface classes and setup classes,
// written "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
class Guid {
public:
    constexpr Guid() = default;
    constexpr Guid(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                   const std::array<std::uint8_t, 8>& data4)
        : data1_(data1), data2_(data2), data3_(data3), data4_(data4)
    {
    }

    // The interface class of HID interfaces.
    static Guid HidInterfaceClass();
    // The interface class of USB devices, {A5DCBF10-6530-11D2-901F-00C04FB951ED}.
    static Guid UsbDeviceInterfaceClass();

    // The text form with or without braces, hexadecimal digits in either case; nothing for anything else.
    static std::optional<Guid> Parse(std::string_view text);
    // With braces and uppercase digits.
    std::string ToString() const;

    std::uint32_t Data1() const { return data1_; }
    std::uint16_t Data2() const { return data2_; }
    std::uint16_t Data3() const { return data3_; }
    const std::array<std::uint8_t, 8>& Data4() const { return data4_; }

    bool operator==(const Guid& other) const;
    bool operator!=(const Guid& other) const { return !(*this == other); }

private:
    std::uint32_t data1_ = 0;
    std::uint16_t data2_ = 0;
    std::uint16_t data3_ = 0;
    std::array<std::uint8_t, 8> data4_{};
};

}  // namespace tarnix::platform
