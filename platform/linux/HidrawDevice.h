#pragma once

#include <memory>
#include <string>

#include "platform/HidDevice.h"
#include "platform/linux/FileDescriptor.h"

namespace tarnix::platform {

// A HID interface of a USB device on the real bus, reached through its hidraw node. Capabilities and
// strings come from sysfs (the HID device's report descriptor, the USB device's string attributes), so a
// probe never opens the node; read/write access opens it for feature reports.
class HidrawDevice : public HidDevice {
public:
    // The name is "<node>#<HID device sysname>" (DeviceIdentity); it opens only while that hidraw node
    // still belongs to that HID device. Read/write access opens the node and fails when open(2) does.
    static std::unique_ptr<HidDevice> Open(const std::string& devicePath, Access access);

    HidrawDevice(std::string hidSyspath, std::string usbDeviceSyspath, FileDescriptor node);

    std::optional<HidCapabilities> Capabilities() const override;
    std::optional<std::string> ManufacturerString() const override;
    std::optional<std::string> ProductString() const override;
    std::optional<std::string> SerialNumberString() const override;
    bool SetFeature(const std::uint8_t* report, std::size_t length) override;
    bool GetFeature(std::uint8_t* report, std::size_t length) override;

private:
    std::optional<std::string> UsbDeviceString(const char* attribute) const;

    std::string hidSyspath_;
    std::string usbDeviceSyspath_;
    FileDescriptor node_;  // not open for a probe
};

}  // namespace tarnix::platform
