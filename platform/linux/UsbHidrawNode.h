#pragma once

#include <optional>
#include <string>

#include "platform/linux/UdevDevice.h"

namespace tarnix::platform {

// A hidraw device whose HID device sits on a USB interface, with the devices above it: the HID device
// (its report descriptor), the USB device (identifiers and strings).
class UsbHidrawNode {
public:
    // Nothing when the hidraw device has no node or no HID device on a USB interface above it.
    static std::optional<UsbHidrawNode> From(const UdevDevice& hidraw);

    // The device name: node and HID device sysname (DeviceIdentity::HidDeviceName).
    std::string DeviceName() const;
    // HID\VID_...&PID_...&REV_... of the USB device; empty when an attribute cannot be read.
    std::string HardwareId() const;

    const std::string& Node() const { return node_; }
    const UdevDevice& Hidraw() const { return hidraw_; }
    const UdevDevice& Hid() const { return hid_; }
    const UdevDevice& UsbDevice() const { return usbDevice_; }

private:
    UsbHidrawNode(std::string node, UdevDevice hidraw, UdevDevice hid, UdevDevice usbDevice);

    std::string node_;
    UdevDevice hidraw_;
    UdevDevice hid_;
    UdevDevice usbDevice_;
};

}  // namespace tarnix::platform
