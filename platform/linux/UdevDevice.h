#pragma once

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct udev;
struct udev_device;

namespace tarnix::platform {

// One device as udev describes it: a snapshot of its sysfs entry. Each lookup makes its own udev context,
// so objects made on different threads share nothing; a single object belongs to one thread at a time.
class UdevDevice {
public:
    // The devices of a subsystem present now (only those of the device type when one is given), in udev's
    // enumeration order, which is the order of their sysfs paths.
    static std::vector<UdevDevice> List(const char* subsystem, const char* deviceType);
    // The device whose sysfs folder this is ("/sys/devices/..."); nothing when there is none.
    static std::optional<UdevDevice> FromSyspath(const std::string& syspath);
    // The device of a subsystem with this sysname ("hidraw0"); nothing when there is none.
    static std::optional<UdevDevice> FromSubsystemSysname(const char* subsystem, const std::string& sysname);

    // The nearest device above this one of that subsystem (and device type, when given).
    std::optional<UdevDevice> Ancestor(const char* subsystem, const char* deviceType) const;

    // Whether udev has finished with the device: its rules have been applied (properties, node access).
    bool IsInitialized() const;
    // Whether udev's daemon runs on this system; without it no device is ever initialized.
    static bool DaemonRuns();

    // Whether the device has this device type; any type matches nullptr.
    bool HasDeviceType(const char* deviceType) const;

    std::string Syspath() const;
    std::string Sysname() const;
    // The device node (DEVNAME), "/dev/hidraw0".
    std::optional<std::string> Devnode() const;
    // The device number of the node; 0 when it has none.
    dev_t Devnum() const;
    // Whether the file at Devnode() is this device's node: a character device with its number. The kernel
    // lists a device before it makes the node, and a node's path may lead to an earlier device's node. The
    // file's status is read by its path: the test bed's nodes stand on ptys whose open descriptors show the
    // pty's number, their paths the device's.
    bool NodeIsThisDevice() const;
    std::optional<std::string> Property(const char* name) const;
    std::optional<std::string> Attribute(const char* name) const;

private:
    UdevDevice(std::shared_ptr<udev> context, udev_device* device);

    std::shared_ptr<udev> context_;
    std::shared_ptr<udev_device> device_;
};

}  // namespace tarnix::platform
