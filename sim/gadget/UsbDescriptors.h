#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tarnix::sim {

// The USB descriptors the virtual sensor presents on a real bus, as wire bytes (USB 2.0 chapter 9, HID 1.11,
// DFU 1.1). Multi-byte fields are little-endian.
class UsbDescriptors {
public:
    // String indexes of the device descriptor (manufacturer, product, serial number).
    static constexpr std::uint8_t kManufacturerString = 1;
    static constexpr std::uint8_t kProductString = 2;
    static constexpr std::uint8_t kSerialString = 3;

    // A USB 2.0 device descriptor with one configuration, class given by its interfaces, 64-byte ep0.
    static std::vector<std::uint8_t> Device(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t bcdDevice);
    // A configuration descriptor (value 1, bus powered, 100 mA) followed by `body`, with wTotalLength.
    static std::vector<std::uint8_t> Configuration(std::uint8_t interfaceCount, const std::vector<std::uint8_t>& body);
    static std::vector<std::uint8_t> Interface(std::uint8_t number, std::uint8_t alternateSetting,
                                               std::uint8_t endpointCount, std::uint8_t interfaceClass,
                                               std::uint8_t subclass, std::uint8_t protocol, std::uint8_t stringIndex);
    static std::vector<std::uint8_t> Endpoint(std::uint8_t address, std::uint8_t attributes, std::uint16_t maxPacketSize,
                                              std::uint8_t interval);
    // The HID class descriptor naming one report descriptor of the given length.
    static std::vector<std::uint8_t> Hid(std::uint16_t reportDescriptorLength);
    // The DFU functional descriptor: can download and upload, manifestation tolerant, detach timeout 255 ms,
    // DfuSe version 1.1a.
    static std::vector<std::uint8_t> DfuFunctional(std::uint16_t transferSize);
    // A vendor report descriptor: one application collection (usage page, usage) holding a feature report of
    // `dataLength` bytes after the report ID for each of `reportIds`.
    static std::vector<std::uint8_t> HidReport(std::uint16_t usagePage, std::uint16_t usage,
                                               const std::vector<std::uint8_t>& reportIds, std::uint16_t dataLength);
    // String descriptor 0: the one language the device speaks, US English (0x0409).
    static std::vector<std::uint8_t> LanguageList();
    // A string descriptor holding the UTF-8 text as UTF-16LE (malformed UTF-8 becomes U+FFFD); texts longer
    // than a descriptor can hold are cut.
    static std::vector<std::uint8_t> String(std::string_view utf8);
};

}  // namespace tarnix::sim
