#include "platform/linux/UsbDescriptorParser.h"

#include <algorithm>

#include "io/DfuProtocol.h"

namespace tarnix::platform {

namespace {

constexpr std::uint8_t kDeviceDescriptorType = 0x01;
constexpr std::uint8_t kConfigurationDescriptorType = 0x02;
constexpr std::uint8_t kStringDescriptorType = 0x03;
constexpr std::uint8_t kInterfaceDescriptorType = 0x04;

constexpr std::size_t kDeviceDescriptorLength = 18;
constexpr std::size_t kInterfaceDescriptorLength = 9;
constexpr std::size_t kFunctionalDescriptorMinimum = 7;  // up to and including wTransferSize

std::uint16_t Word(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)); }

bool IsDfuInterface(const std::uint8_t* descriptor)
{
    // bInterfaceNumber, bAlternateSetting, bNumEndpoints, bInterfaceClass, bInterfaceSubClass at 2 to 6.
    return descriptor[3] == 0 && descriptor[5] == io::dfu::kInterfaceClass &&
           descriptor[6] == io::dfu::kInterfaceSubclass;
}

// Walks the descriptor chain after the device descriptor.
class DescriptorWalk {
public:
    DescriptorWalk(const std::uint8_t* data, std::size_t length, DfuDescriptorSummary& summary)
        : data_(data), length_(length), summary_(summary)
    {
    }

    bool FindDfuInterface()
    {
        std::size_t position = kDeviceDescriptorLength;
        while (length_ - position >= 2) {
            const std::size_t size = data_[position];
            if (size < 2 || size > length_ - position) {
                return false;
            }
            if (Visit(data_ + position, size)) {
                return true;
            }
            position += size;
        }
        return false;
    }

private:
    // True once the functional descriptor of the DFU interface has been seen.
    bool Visit(const std::uint8_t* descriptor, std::size_t size)
    {
        const std::uint8_t type = descriptor[1];
        if (type == kConfigurationDescriptorType && seenDfuInterface_) {
            ended_ = true;  // another configuration: its interfaces are not the DFU interface's settings
        }
        if (ended_) {
            return false;
        }
        if (type == kConfigurationDescriptorType ||
            (type == kInterfaceDescriptorType && size < kInterfaceDescriptorLength)) {
            inDfuInterface_ = false;
        }
        if (type == kInterfaceDescriptorType && size >= kInterfaceDescriptorLength) {
            // A functional descriptor belongs to the interface before it: it may follow the last of the DFU
            // interface's alternate settings (a DfuSe bootloader with several memories has one per memory).
            if (!seenDfuInterface_ && IsDfuInterface(descriptor)) {
                seenDfuInterface_ = true;
                summary_.interfaceNumber = descriptor[2];
                summary_.interfaceString = descriptor[8];
            }
            inDfuInterface_ = seenDfuInterface_ && descriptor[2] == summary_.interfaceNumber;
            return false;
        }
        if (type == io::dfu::kFunctionalDescriptorType && inDfuInterface_ && size >= kFunctionalDescriptorMinimum) {
            summary_.transferSize = Word(descriptor + 5);
            return true;
        }
        return false;
    }

    const std::uint8_t* data_;
    std::size_t length_;
    DfuDescriptorSummary& summary_;
    bool seenDfuInterface_ = false;
    bool inDfuInterface_ = false;
    bool ended_ = false;
};

}  // namespace

std::optional<DfuDescriptorSummary> UsbDescriptorParser::ParseDfu(const std::uint8_t* data, std::size_t length)
{
    if (data == nullptr || length < kDeviceDescriptorLength || data[0] < kDeviceDescriptorLength ||
        data[1] != kDeviceDescriptorType) {
        return std::nullopt;
    }
    DfuDescriptorSummary summary;
    summary.vendorId = Word(data + 8);
    summary.productId = Word(data + 10);
    summary.bcdDevice = Word(data + 12);
    if (!DescriptorWalk(data, length, summary).FindDfuInterface()) {
        return std::nullopt;
    }
    return summary;
}

std::optional<std::u16string> UsbDescriptorParser::ParseString(const std::uint8_t* data, std::size_t length)
{
    if (data == nullptr || length < 2 || data[0] < 2 || data[1] != kStringDescriptorType) {
        return std::nullopt;
    }
    const std::size_t end = std::min<std::size_t>(data[0], length);
    std::u16string text;
    for (std::size_t position = 2; position + 1 < end; position += 2) {
        text.push_back(static_cast<char16_t>(Word(data + position)));
    }
    return text;
}

}  // namespace tarnix::platform
