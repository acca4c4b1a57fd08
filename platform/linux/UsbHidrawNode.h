#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/HidReportDescriptor.h"
#include "platform/linux/UdevDevice.h"

namespace tarnix::platform {

// A hidraw device whose HID device sits on a USB interface, with the devices above it: the HID device
// (its report descriptor), the USB device (identifiers and strings). Each top-level collection of the report
// descriptor is a HID interface of its own, as the host gives every collection its own interface; a node
// whose descriptor cannot be read is one interface without capabilities.
class UsbHidrawNode {
public:
    // Nothing when the hidraw device has no node or no HID device on a USB interface above it.
    static std::optional<UsbHidrawNode> From(const UdevDevice& hidraw);

    // The device name of the node's interfaces: node, HID device sysname and, for one of several
    // collections, its number from 1 (UsbDeviceNaming::HidDeviceName).
    std::string DeviceName(std::size_t collection = 0) const;
    // The top-level collections of the HID device's report descriptor; nothing when it cannot be read or
    // parsed.
    std::optional<std::vector<HidCollection>> Collections() const;
    // The device names of the node's interfaces with these collections, one per collection in descriptor
    // order (one name when there are not several).
    std::vector<std::string> InterfaceNames(const std::optional<std::vector<HidCollection>>& collections) const;
    // The collection that the number in a device name picks out of the node's collections: 0 the only one
    // (nothing in `picked` when the descriptor cannot be read), n the n-th of several; false when the number
    // does not fit the node's collections.
    static bool PickCollection(const std::optional<std::vector<HidCollection>>& collections, std::size_t number,
                               std::optional<HidCollection>& picked);
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
