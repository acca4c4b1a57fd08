#include "sim/gadget/UsbDescriptors.h"

namespace tarnix::sim {

namespace {

constexpr std::uint8_t kDeviceType = 0x01;
constexpr std::uint8_t kConfigurationType = 0x02;
constexpr std::uint8_t kStringType = 0x03;
constexpr std::uint8_t kInterfaceType = 0x04;
constexpr std::uint8_t kEndpointType = 0x05;
constexpr std::uint8_t kClassFunctionalType = 0x21;  // HID descriptor, DFU functional descriptor
constexpr std::uint8_t kHidReportType = 0x22;
constexpr std::uint16_t kUsEnglish = 0x0409;
constexpr std::size_t kMaxStringUnits = 126;  // (255 - 2) / 2, rounded down to whole units
constexpr char32_t kReplacement = 0xFFFD;

std::uint8_t Low(std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
std::uint8_t High(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }

// Decodes one UTF-8 sequence at `at`, advancing it; malformed or overlong sequences give U+FFFD and move on
// by one byte.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t extra = 0;
    char32_t value = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else {
        ++at;
        return kReplacement;
    }
    if (at + extra >= text.size()) {
        ++at;
        return kReplacement;
    }
    for (std::size_t i = 1; i <= extra; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++at;
        return kReplacement;
    }
    at += extra + 1;
    return value;
}

std::vector<std::uint16_t> Utf16Units(std::string_view utf8) {
    std::vector<std::uint16_t> units;
    std::size_t at = 0;
    while (at < utf8.size()) {
        const char32_t code = NextCodePoint(utf8, at);
        if (code >= 0x10000) {
            const char32_t offset = code - 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (offset & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(code));
        }
    }
    return units;
}

}  // namespace

std::vector<std::uint8_t> UsbDescriptors::Device(std::uint16_t vendorId, std::uint16_t productId,
                                                 std::uint16_t bcdDevice) {
    return {18,   kDeviceType,         0x00,          0x02,           0x00, 0x00, 0x00, 64,
            Low(vendorId), High(vendorId), Low(productId), High(productId), Low(bcdDevice), High(bcdDevice),
            kManufacturerString, kProductString, kSerialString, 1};
}

std::vector<std::uint8_t> UsbDescriptors::Configuration(std::uint8_t interfaceCount,
                                                        const std::vector<std::uint8_t>& body) {
    const auto total = static_cast<std::uint16_t>(9 + body.size());
    std::vector<std::uint8_t> bytes = {9, kConfigurationType, Low(total), High(total), interfaceCount, 1, 0, 0x80, 50};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

std::vector<std::uint8_t> UsbDescriptors::Interface(std::uint8_t number, std::uint8_t alternateSetting,
                                                    std::uint8_t endpointCount, std::uint8_t interfaceClass,
                                                    std::uint8_t subclass, std::uint8_t protocol,
                                                    std::uint8_t stringIndex) {
    return {9, kInterfaceType, number, alternateSetting, endpointCount, interfaceClass, subclass, protocol, stringIndex};
}

std::vector<std::uint8_t> UsbDescriptors::Endpoint(std::uint8_t address, std::uint8_t attributes,
                                                   std::uint16_t maxPacketSize, std::uint8_t interval) {
    return {7, kEndpointType, address, attributes, Low(maxPacketSize), High(maxPacketSize), interval};
}

std::vector<std::uint8_t> UsbDescriptors::Hid(std::uint16_t reportDescriptorLength) {
    return {9, kClassFunctionalType, 0x11, 0x01, 0, 1, kHidReportType, Low(reportDescriptorLength),
            High(reportDescriptorLength)};
}

std::vector<std::uint8_t> UsbDescriptors::DfuFunctional(std::uint16_t transferSize) {
    return {9, kClassFunctionalType, 0x0B, 255, 0, Low(transferSize), High(transferSize), 0x1A, 0x01};
}

std::vector<std::uint8_t> UsbDescriptors::HidReport(std::uint16_t usagePage, std::uint16_t usage,
                                                    const std::vector<std::uint8_t>& reportIds,
                                                    std::uint16_t dataLength) {
    std::vector<std::uint8_t> bytes = {0x06, Low(usagePage), High(usagePage),  // Usage Page
                                       0x0A, Low(usage),     High(usage),      // Usage
                                       0xA1, 0x01,                              // Collection (Application)
                                       0x15, 0x00,                              // Logical Minimum 0
                                       0x26, 0xFF, 0x00,                        // Logical Maximum 255
                                       0x75, 0x08,                              // Report Size 8 bits
                                       0x96, Low(dataLength), High(dataLength)};  // Report Count
    for (const std::uint8_t id : reportIds) {
        bytes.insert(bytes.end(), {0x85, id,     // Report ID
                                   0x09, id,     // Usage
                                   0xB1, 0x02});  // Feature (Data, Variable, Absolute)
    }
    bytes.push_back(0xC0);  // End Collection
    return bytes;
}

std::vector<std::uint8_t> UsbDescriptors::LanguageList() { return {4, kStringType, Low(kUsEnglish), High(kUsEnglish)}; }

std::vector<std::uint8_t> UsbDescriptors::String(std::string_view utf8) {
    std::vector<std::uint16_t> units = Utf16Units(utf8);
    if (units.size() > kMaxStringUnits) {
        units.resize(kMaxStringUnits);
        if (units.back() >= 0xD800 && units.back() <= 0xDBFF) {
            units.pop_back();  // never half a surrogate pair
        }
    }
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(2 + 2 * units.size()), kStringType};
    for (const std::uint16_t unit : units) {
        bytes.push_back(Low(unit));
        bytes.push_back(High(unit));
    }
    return bytes;
}

}  // namespace tarnix::sim
