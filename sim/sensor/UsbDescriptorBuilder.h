#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sensor/SensorCollections.h"

namespace tarnix::sim {

// Builds the standard USB descriptors of the devices the virtual sensor shows on a real USB stack: the root
// hub, the sensor's HID personality and its DfuSe bootloader personality, as the kernel keeps them in a
// usb_device's sysfs `descriptors` file (device descriptor, then the configuration descriptor with everything
// it holds) and as a GET_DESCRIPTOR request returns them (usb-run), and the parts a gadget function is made
// of (tarnix-gadget).
class UsbDescriptorBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    // String descriptor indexes every device here uses.
    static constexpr std::uint8_t kManufacturerString = 1;
    static constexpr std::uint8_t kProductString = 2;
    static constexpr std::uint8_t kSerialString = 3;
    // The bootloader's interface string: the memory layout of alternate setting 0.
    static constexpr std::uint8_t kLayoutString = 4;
    // Length of a configuration descriptor without what it holds.
    static constexpr std::size_t kConfigurationHeaderLength = 9;

    static Bytes RootHubDevice();
    static Bytes RootHubConfiguration();

    static Bytes SensorDevice();
    // One HID interface (class 3, no subclass or protocol) with its HID descriptor and an interrupt IN
    // endpoint; the HID descriptor announces a report descriptor of the given length.
    static Bytes SensorConfiguration(std::size_t reportDescriptorLength);
    // A vendor collection with the given usage page and usage holding the feature reports 0x80 (switch to
    // DFU mode), 0x01 (request) and 0x02 (answer), each `featureBytes` data bytes after the report ID.
    static Bytes SensorReportDescriptor(std::uint16_t usagePage, std::uint16_t usage, std::uint16_t featureBytes);
    // The application collections of the list in its order (SensorCollection); the configuration collection
    // has the given usage page and usage and is laid out as above.
    static Bytes SensorReportDescriptor(std::uint16_t usagePage, std::uint16_t usage,
                                        const std::vector<SensorCollection>& collections);

    static Bytes BootloaderDevice();
    // One DFU interface (class 0xFE, subclass 1, protocol 2, alternate setting 0, interface string 4) and
    // its DFU functional descriptor (will-detach, manifestation-tolerant, download and upload capable).
    static Bytes BootloaderConfiguration(std::uint16_t transferSize);

    // An interface descriptor of interface 0.
    static Bytes Interface(std::uint8_t alternateSetting, std::uint8_t endpoints, std::uint8_t interfaceClass,
                           std::uint8_t subclass, std::uint8_t protocol, std::uint8_t interfaceString);
    // The DfuSe functional descriptor: will-detach, manifestation-tolerant, download and upload capable,
    // detach timeout 255 ms, DfuSe version 1.1a.
    static Bytes DfuFunctional(std::uint16_t transferSize);

    // String descriptor 0: the supported languages (US English only).
    static Bytes LanguageList();
    // A string descriptor holding the UTF-8 text as UTF-16LE, cut to the 126 units a descriptor can carry
    // but never between the two halves of a surrogate pair (a malformed UTF-8 sequence becomes U+FFFD).
    static Bytes String(const std::string& text);
};

}  // namespace tarnix::sim
