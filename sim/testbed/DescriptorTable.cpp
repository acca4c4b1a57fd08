#include "sim/testbed/DescriptorTable.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/UsbDescriptors.h"

namespace tarnix::sim {

namespace {

constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kDeviceDescriptor = 1;
constexpr std::uint8_t kConfigurationDescriptor = 2;
constexpr std::uint8_t kStringDescriptor = 3;

IoctlAnswer Copied(const std::vector<std::uint8_t>& bytes, std::uint8_t* data, std::uint16_t length) {
    if (bytes.empty()) {
        return IoctlAnswer::Failure(EPIPE);
    }
    const std::size_t count = std::min<std::size_t>(bytes.size(), length);
    if (count > 0) {
        std::memcpy(data, bytes.data(), count);
    }
    return IoctlAnswer::Success(static_cast<long>(count));
}

}  // namespace

IoctlAnswer DescriptorTable::Answer(const usbdevfs_ctrltransfer& transfer, std::uint8_t* data) const {
    if (transfer.bRequestType != kStandardIn || transfer.bRequest != kGetDescriptor) {
        return IoctlAnswer::Failure(EPIPE);
    }
    const auto type = static_cast<std::uint8_t>(transfer.wValue >> 8);
    const auto index = static_cast<std::uint8_t>(transfer.wValue);
    if (type == kDeviceDescriptor) {
        return Copied(device, data, transfer.wLength);
    }
    if (type == kConfigurationDescriptor && index == 0) {
        return Copied(configuration, data, transfer.wLength);
    }
    if (type == kStringDescriptor && index == 0) {
        return Copied(UsbDescriptors::LanguageList(), data, transfer.wLength);
    }
    const auto text = strings.find(index);
    if (type == kStringDescriptor && text != strings.end()) {
        return Copied(UsbDescriptors::String(text->second), data, transfer.wLength);
    }
    return IoctlAnswer::Failure(EPIPE);
}

}  // namespace tarnix::sim
