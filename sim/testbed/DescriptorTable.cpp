#include "sim/testbed/DescriptorTable.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/usb/ch9.h>

#include "sim/sensor/UsbDescriptorBuilder.h"

namespace tarnix::sim {

namespace {

IoctlAnswer Copied(const std::vector<std::uint8_t>& bytes, std::uint8_t* data, std::uint16_t length)
{
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

IoctlAnswer DescriptorTable::Answer(const usbdevfs_ctrltransfer& transfer, std::uint8_t* data) const
{
    if (transfer.bRequestType != kStandardIn || transfer.bRequest != USB_REQ_GET_DESCRIPTOR) {
        return IoctlAnswer::Failure(EPIPE);
    }
    const auto type = static_cast<std::uint8_t>(transfer.wValue >> 8);
    const auto index = static_cast<std::uint8_t>(transfer.wValue);
    if (type == USB_DT_DEVICE) {
        return Copied(device, data, transfer.wLength);
    }
    if (type == USB_DT_CONFIG && index == 0) {
        return Copied(configuration, data, transfer.wLength);
    }
    if (type == USB_DT_STRING && index == 0) {
        return Copied(UsbDescriptorBuilder::LanguageList(), data, transfer.wLength);
    }
    const auto text = strings.find(index);
    if (type == USB_DT_STRING && text != strings.end()) {
        return Copied(UsbDescriptorBuilder::String(text->second), data, transfer.wLength);
    }
    return IoctlAnswer::Failure(EPIPE);
}

}  // namespace tarnix::sim
