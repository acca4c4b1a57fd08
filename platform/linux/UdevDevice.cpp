#include "platform/linux/UdevDevice.h"

#include <cstring>
#include <libudev.h>
#include <sys/stat.h>

namespace tarnix::platform {

namespace {

std::shared_ptr<udev> NewContext()
{
    udev* context = udev_new();
    if (context == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<udev>(context, udev_unref);
}

std::optional<std::string> Text(const char* value)
{
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

bool IsOfType(udev_device* device, const char* deviceType)
{
    if (deviceType == nullptr) {
        return true;
    }
    const char* type = udev_device_get_devtype(device);
    return type != nullptr && std::strcmp(type, deviceType) == 0;
}

}  // namespace

UdevDevice::UdevDevice(std::shared_ptr<udev> context, udev_device* device)
    : context_(std::move(context)), device_(device, udev_device_unref)
{
}

std::vector<UdevDevice> UdevDevice::List(const char* subsystem, const char* deviceType)
{
    std::vector<UdevDevice> devices;
    const std::shared_ptr<udev> context = NewContext();
    if (!context) {
        return devices;
    }
    const std::unique_ptr<udev_enumerate, udev_enumerate* (*)(udev_enumerate*)> enumeration(
        udev_enumerate_new(context.get()), udev_enumerate_unref);
    if (!enumeration || udev_enumerate_add_match_subsystem(enumeration.get(), subsystem) < 0 ||
        udev_enumerate_scan_devices(enumeration.get()) < 0) {
        return devices;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get()))
    {
        udev_device* device = udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry));
        if (device == nullptr) {
            continue;  // gone since the scan
        }
        UdevDevice found(context, device);
        if (IsOfType(device, deviceType)) {
            devices.push_back(std::move(found));
        }
    }
    return devices;
}

std::optional<UdevDevice> UdevDevice::FromSyspath(const std::string& syspath)
{
    const std::shared_ptr<udev> context = NewContext();
    if (!context) {
        return std::nullopt;
    }
    udev_device* device = udev_device_new_from_syspath(context.get(), syspath.c_str());
    if (device == nullptr) {
        return std::nullopt;
    }
    return UdevDevice(context, device);
}

std::optional<UdevDevice> UdevDevice::FromSubsystemSysname(const char* subsystem, const std::string& sysname)
{
    const std::shared_ptr<udev> context = NewContext();
    if (!context) {
        return std::nullopt;
    }
    udev_device* device = udev_device_new_from_subsystem_sysname(context.get(), subsystem, sysname.c_str());
    if (device == nullptr) {
        return std::nullopt;
    }
    return UdevDevice(context, device);
}

std::optional<UdevDevice> UdevDevice::Ancestor(const char* subsystem, const char* deviceType) const
{
    // The parent belongs to this device; the extra reference lets it outlive it.
    udev_device* parent = udev_device_get_parent_with_subsystem_devtype(device_.get(), subsystem, deviceType);
    if (parent == nullptr) {
        return std::nullopt;
    }
    return UdevDevice(context_, udev_device_ref(parent));
}

bool UdevDevice::IsInitialized() const { return udev_device_get_is_initialized(device_.get()) > 0; }

bool UdevDevice::DaemonRuns()
{
    const std::shared_ptr<udev> context = NewContext();
    if (!context) {
        return false;
    }
    const std::unique_ptr<udev_queue, udev_queue* (*)(udev_queue*)> queue(udev_queue_new(context.get()),
                                                                          udev_queue_unref);
    return queue && udev_queue_get_udev_is_active(queue.get()) > 0;
}

bool UdevDevice::HasDeviceType(const char* deviceType) const { return IsOfType(device_.get(), deviceType); }

std::string UdevDevice::Syspath() const { return Text(udev_device_get_syspath(device_.get())).value_or(""); }

std::string UdevDevice::Sysname() const { return Text(udev_device_get_sysname(device_.get())).value_or(""); }

std::optional<std::string> UdevDevice::Devnode() const { return Text(udev_device_get_devnode(device_.get())); }

dev_t UdevDevice::Devnum() const { return udev_device_get_devnum(device_.get()); }

bool UdevDevice::NodeIsThisDevice() const
{
    const std::optional<std::string> node = Devnode();
    struct stat status {};
    return node && ::stat(node->c_str(), &status) == 0 && S_ISCHR(status.st_mode) && status.st_rdev == Devnum();
}

std::optional<std::string> UdevDevice::Property(const char* name) const
{
    return Text(udev_device_get_property_value(device_.get(), name));
}

std::optional<std::string> UdevDevice::Attribute(const char* name) const
{
    return Text(udev_device_get_sysattr_value(device_.get(), name));
}

}  // namespace tarnix::platform
