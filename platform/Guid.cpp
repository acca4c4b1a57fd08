#include "io/Guid.h"

#include <cstdio>

namespace tarnix::platform {

namespace {

// Positions of the 32 hexadecimal digits in "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
constexpr std::size_t kTextLength = 36;
constexpr std::size_t kDashes[] = {8, 13, 18, 23};

int HexDigit(char c)
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

bool IsDashPosition(std::size_t index)
{
    for (std::size_t dash : kDashes) {
        if (index == dash) {
            return true;
        }
    }
    return false;
}

}  // namespace

Guid Guid::HidInterfaceClass()
{
    return Guid(0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30});
}

Guid Guid::UsbDeviceInterfaceClass()
{
    return Guid(0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED});
}

std::optional<Guid> Guid::Parse(std::string_view text)
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

std::string Guid::ToString() const
{
    char text[48];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(data1_), data2_, data3_, data4_[0], data4_[1], data4_[2], data4_[3], data4_[4],
                  data4_[5], data4_[6], data4_[7]);
    return text;
}

bool Guid::operator==(const Guid& other) const
{
    return data1_ == other.data1_ && data2_ == other.data2_ && data3_ == other.data3_ && data4_ == other.data4_;
}

}  // namespace tarnix::platform
