#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tarnix::platform {

// What the host needs of a device in DFU mode, from its standard descriptors.
struct DfuDescriptorSummary {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::uint8_t interfaceNumber = 0;  // bInterfaceNumber of the DFU interface
    std::uint8_t interfaceString = 0;  // iInterface of its alternate setting 0: the memory layout string
    std::uint16_t transferSize = 0;    // wTransferSize of the DFU functional descriptor
};

// Bounded readers of USB descriptors as the kernel hands them over: the sysfs `descriptors` blob (device
// descriptor, then the configuration descriptors with everything they carry) and string descriptors.
// Neither reads outside the given buffer whatever the lengths inside claim.
class UsbDescriptorParser {
public:
    // The device descriptor and the first DFU interface (class 0xFE, subclass 0x01) in alternate setting 0
    // with the DFU functional descriptor (type 0x21) that follows it, or a later alternate setting of the
    // same interface, before another interface or configuration begins. The chain
    // is walked by bLength; a descriptor shorter than 2 bytes or running past the buffer ends the walk.
    // Nothing when the device descriptor is short or no such interface with its functional descriptor is
    // found before the walk ends.
    static std::optional<DfuDescriptorSummary> ParseDfu(const std::uint8_t* data, std::size_t length);

    // The UTF-16 text of a string descriptor (bLength, type 3, UTF-16LE units), bounded by bLength and by
    // the bytes received; an odd trailing byte is dropped. Nothing when it is no string descriptor.
    static std::optional<std::u16string> ParseString(const std::uint8_t* data, std::size_t length);
};

}  // namespace tarnix::platform
