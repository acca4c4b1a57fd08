#pragma once

#include <string>

struct _UMockdevTestbed;
struct _UMockdevIoctlBase;

namespace tarnix::sim {

// A umockdev test bed: a private /sys and /dev tree in a temporary folder that programs started under the
// umockdev preload (with UMOCKDEV_DIR naming the folder) see instead of the real ones. Creating it sets
// UMOCKDEV_DIR in this process's environment; destroying it removes the folder. Failures throw SimError.
class DeviceTestbed {
public:
    DeviceTestbed();
    ~DeviceTestbed();
    DeviceTestbed(const DeviceTestbed&) = delete;
    DeviceTestbed& operator=(const DeviceTestbed&) = delete;

    const std::string& Root() const { return root_; }

    // Lets every user read the tree and reach the ioctl sockets, so that a program running as another user
    // sees the devices; the device nodes themselves stay the owner's.
    void OpenToAllUsers();

    // Adds devices given as umockdev records ("P:", "N:", "E:", "A:", "H:" lines).
    void Add(const std::string& records);
    // Removes one device (its children go first).
    void Remove(const std::string& sysPath);
    // Adds a udev property to a device; umockdev replaces its uevent file at once (a new file renamed over
    // it), so that a reader sees the device with or without the property, never a partial one.
    void AddProperty(const std::string& sysPath, const std::string& name, const std::string& value);
    // Routes the ioctls on a device node to the handler, from now on; the node need not exist yet.
    void Attach(const std::string& devNode, _UMockdevIoctlBase* handler);

private:
    void OpenSockets() const;

    _UMockdevTestbed* testbed_ = nullptr;
    std::string root_;
};

}  // namespace tarnix::sim
