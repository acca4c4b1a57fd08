#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnix::io {

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
    // Positions of the 32 hexadecimal digits in "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
    static constexpr std::size_t kTextLength = 36;
    static constexpr std::size_t kDashes[] = {8, 13, 18, 23};

    static int HexDigit(char c);
    static bool IsDashPosition(std::size_t index);

    std::uint32_t data1_ = 0;
    std::uint16_t data2_ = 0;
    std::uint16_t data3_ = 0;
    std::array<std::uint8_t, 8> data4_{};
};

inline int Guid::HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

inline bool Guid::IsDashPosition(std::size_t index)
{
    for (std::size_t dash : kDashes) {
        if (index == dash) {
            return true;
        }
    }
    return false;
}

inline Guid Guid::HidInterfaceClass()
{
    return Guid(0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30});
}

inline Guid Guid::UsbDeviceInterfaceClass()
{
    return Guid(0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED});
}

inline std::optional<Guid> Guid::Parse(std::string_view text)
{
    if (text.size() == kTextLength + 2 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, kTextLength);
    }
    if (text.size() != kTextLength) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 16> bytes{};
    std::size_t digit = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsDashPosition(i)) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            continue;
        }
        const int value = HexDigit(text[i]);
        if (value < 0) {
            return std::nullopt;
        }
        bytes[digit / 2] = static_cast<std::uint8_t>(bytes[digit / 2] * 16 + value);
        ++digit;
    }
    const std::uint32_t data1 =
        (static_cast<std::uint32_t>(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    const auto data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    const auto data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    std::array<std::uint8_t, 8> data4{};
    for (std::size_t i = 0; i < data4.size(); ++i) {
        data4[i] = bytes[8 + i];
    }
    return Guid(data1, data2, data3, data4);
}

inline std::string Guid::ToString() const
{
    char text[48];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(data1_), data2_, data3_, data4_[0], data4_[1], data4_[2], data4_[3], data4_[4],
                  data4_[5], data4_[6], data4_[7]);
    return text;
}

inline bool Guid::operator==(const Guid& other) const
{
    return data1_ == other.data1_ && data2_ == other.data2_ && data3_ == other.data3_ && data4_ == other.data4_;
}

}  // namespace tarnix::io
