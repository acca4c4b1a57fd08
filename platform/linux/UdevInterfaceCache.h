#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "io/DeviceEnumerator.h"
#include "platform/linux/HidReportDescriptor.h"

namespace tarnix::platform {

// The device interfaces of the real bus, listed afresh on every look: the hidraw devices in /sys/class/hidraw
// and the USB devices in /sys/bus/usb/devices. What udev says of a device (its node, its identifiers, the
// USB device above a hidraw node) is read when a look first meets it and kept while it stays listed,
// because the device search looks many times a second and a udev description of every device costs far
// more than the listing. A new plug-in is never taken for the one before it: a hidraw device is known by its
// sysfs path, which carries the kernel's HID device counter; a USB device by its name (its port) and its
// device number, which the kernel gives anew to every plug-in on a bus. A bootloader still waiting for our
// udev rule's property is read on every look, so that the property shows once the rule has been applied.
// Where udev's daemon runs, a device is listed only once udev has finished with it. One process-wide
// instance, for any thread.
class UdevInterfaceCache {
public:
    static UdevInterfaceCache& Instance();

    UdevInterfaceCache(const UdevInterfaceCache&) = delete;
    UdevInterfaceCache& operator=(const UdevInterfaceCache&) = delete;

    // The HID interfaces of the hidraw nodes of USB HID devices, in udev's order of the nodes: one per
    // top-level collection of a node's report descriptor, in descriptor order (UsbHidrawNode).
    std::vector<io::DeviceInterface> HidInterfaces();
    // USB devices with a node, in udev's order.
    std::vector<io::DeviceInterface> UsbDevices();

    // What the last look at the HID interfaces found for one of them: enough for a probe, which the device
    // search makes of every interface it has not registered, many times a second.
    struct HidInterfaceFacts {
        std::string hidSyspath;                   // the HID device
        std::string usbDeviceSyspath;             // the USB device above it
        std::optional<HidCollection> collection;  // nothing when the report descriptor cannot be read
    };
    // Nothing when the last look did not list an interface of this name.
    std::optional<HidInterfaceFacts> LastSeenHidInterface(const std::string& name);

    // udev's order of devices: their sysfs paths compared folder by folder ("1-1/1-1:1.0" before "1-1.2").
    static bool InUdevOrder(const std::string& a, const std::string& b);

private:
    struct Entry {
        std::string syspath;
        std::string identity;                         // a USB device's number; "" for a hidraw device
        std::vector<io::DeviceInterface> interfaces;  // none: the device offers no interface of its class
        std::vector<HidInterfaceFacts> hidFacts;      // of a hidraw device: one per interface, in their order
    };
    using Entries = std::map<std::string, Entry>;  // by what the device is known by

    UdevInterfaceCache() = default;

    // Moves a listed device's entry from `known` to `present`, reading it when it is new or `current` says
    // the known entry no longer stands for it.
    template <typename Current, typename Read>
    static void Keep(Entries& known, Entries& present, const std::string& key, Current current, Read read);
    static bool AwaitsDriverProperty(const Entry& entry);
    static std::vector<io::DeviceInterface> InterfacesOf(const Entries& entries);

    std::mutex mutex_;
    Entries hid_;
    Entries usb_;
};

}  // namespace tarnix::platform
