#pragma once

#include <memory>
#include <optional>
#include <string>

#include "io/FileDescriptor.h"
#include "io/HidDevice.h"
#include "platform/linux/HidReportDescriptor.h"

namespace tarnix::platform {

// A HID interface of a USB device on the real bus: one top-level collection of a hidraw node. Capabilities
// and strings come from sysfs (the collection in the HID device's report descriptor, the USB device's string
// attributes), so a probe never opens the node; read/write access opens it for feature reports. The node
// carries the reports of all its collections; an interface exchanges only its own collection's feature
// reports (the report ID in byte 0), as the host's HID stack keeps each collection's interface to its own.
class HidrawDevice : public io::HidDevice {
public:
    // The name is "<node>#<HID device sysname>[&colNN]" (UsbDeviceNaming); it opens only while that hidraw
    // node still belongs to that HID device and has that collection. Read/write access opens the node and
    // fails when open(2) does.
    static std::unique_ptr<io::HidDevice> Open(const std::string& devicePath, Access access);

    // `collection`: nothing when the report descriptor cannot be read (no capabilities, any report ID).
    HidrawDevice(std::string hidSyspath, std::string usbDeviceSyspath, io::FileDescriptor node,
                 std::optional<HidCollection> collection);

    std::optional<io::HidCapabilities> Capabilities() const override;
    std::optional<std::string> ManufacturerString() const override;
    std::optional<std::string> ProductString() const override;
    std::optional<std::string> SerialNumberString() const override;
    bool SetFeature(const std::uint8_t* report, std::size_t length) override;
    std::optional<std::size_t> GetFeature(std::uint8_t* report, std::size_t length) override;

private:
    std::optional<std::string> UsbDeviceString(const char* attribute) const;
    // Whether a feature report may go through this interface: open, sized within what the request carries,
    // and of this collection.
    bool MayTransfer(const std::uint8_t* report, std::size_t length) const;

    std::string hidSyspath_;
    std::string usbDeviceSyspath_;
    io::FileDescriptor node_;  // not open for a probe
    std::optional<HidCollection> collection_;
};

}  // namespace tarnix::platform
