#include "platform/linux/UsbDeviceNaming.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace tarnix::platform {

namespace {

constexpr char kNameSeparator = '#';
constexpr std::string_view kCollectionMark = "&col";

// A 16-bit number written as 1 to 4 hex digits, as sysfs writes USB identifiers.
std::optional<std::uint16_t> HexWord(std::optional<std::string> text)
{
    if (!text) {
        return std::nullopt;
    }
    while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) {
        text->pop_back();
    }
    if (text->empty() || text->size() > 4) {
        return std::nullopt;
    }
    std::uint16_t value = 0;
    const char* const last = text->data() + text->size();
    const auto [end, error] = std::from_chars(text->data(), last, value, 16);
    if (error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string UsbDeviceNaming::HidDeviceName(const std::string& node, const std::string& hidSysname,
                                           std::size_t collection)
{
    std::string name = node + kNameSeparator + hidSysname;
    if (collection != 0 && collection <= kMaxCollectionNumber) {
        char number[3];
        std::snprintf(number, sizeof number, "%02zu", collection);
        name += kCollectionMark;
        name += number;
    }
    return name;
}

std::optional<UsbDeviceNaming::HidName> UsbDeviceNaming::SplitHidDeviceName(std::string_view name)
{
    const std::size_t separator = name.find(kNameSeparator);
    if (separator == std::string_view::npos || separator == 0 || separator + 1 == name.size() ||
        name.find(kNameSeparator, separator + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view sysname = name.substr(separator + 1);
    std::size_t collection = 0;
    const std::size_t mark = sysname.find(kCollectionMark);
    if (mark != std::string_view::npos) {
        const std::string_view digits = sysname.substr(mark + kCollectionMark.size());
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), collection);
        if (mark == 0 || digits.size() != 2 || error != std::errc() || end != digits.data() + digits.size() ||
            collection == 0) {
            return std::nullopt;
        }
        sysname = sysname.substr(0, mark);
    }
    return HidName{std::string(name.substr(0, separator)), std::string(sysname), collection};
}

std::string UsbDeviceNaming::HardwareId(std::string_view bus, const std::optional<std::string>& vendor,
                                        const std::optional<std::string>& product,
                                        const std::optional<std::string>& revision)
{
    const auto vendorId = HexWord(vendor);
    const auto productId = HexWord(product);
    const auto bcdDevice = HexWord(revision);
    if (!vendorId || !productId || !bcdDevice) {
        return {};
    }
    char numbers[32];
    std::snprintf(numbers, sizeof numbers, "\\VID_%04X&PID_%04X&REV_%04X", *vendorId, *productId, *bcdDevice);
    return std::string(bus) + numbers;
}

io::Guid UsbDeviceNaming::UsbDeviceSetupClass(const std::optional<std::string>& dfuDriverProperty)
{
    return dfuDriverProperty == std::optional<std::string>("1") ? UsbSetupClass() : io::Guid();
}

bool UsbDeviceNaming::GetsDfuDriverProperty(std::string_view hardwareId)
{
    constexpr std::string_view kBootloader = "USB\\VID_0483&PID_DF11&";
    return hardwareId.substr(0, kBootloader.size()) == kBootloader;
}

io::Guid UsbDeviceNaming::HidSetupClass()
{
    return io::Guid(0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA});
}

io::Guid UsbDeviceNaming::UsbSetupClass()
{
    return io::Guid(0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00});
}

}  // namespace tarnix::platform
