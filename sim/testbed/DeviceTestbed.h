#pragma once

#include <set>
#include <string>

#include "sim/testbed/NodeIoctlHandler.h"

struct _UMockdevTestbed;

namespace tarnix::sim {

// A umockdev test bed: a private /sys and /dev tree in a temporary folder that this process (when it runs
// under the umockdev preload) and programs started under the preload (with UMOCKDEV_DIR naming the folder)
// see instead of the real ones. Creating it sets UMOCKDEV_DIR in this process's environment; destroying it
// removes the folder. Devices are given as umockdev records (UdevRecord) and named by their sysfs paths
// ("/sys/devices/..."); the ioctls on a node are answered by the endpoints it serves. Failures throw SimError.
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
    // Removes one device; remove its children first.
    void Remove(const std::string& sysPath);
    // Sets a udev property of a device; umockdev replaces its uevent file at once (a new file renamed over
    // it), so that a reader sees the device with or without the property, never a partial one.
    void SetProperty(const std::string& sysPath, const std::string& name, const std::string& value);
    // Sets a sysfs attribute of a device in place.
    void SetAttribute(const std::string& sysPath, const std::string& name, const std::string& value);
    // From now on, files opened on the device node ("/dev/hidraw0") get their endpoints from the opener;
    // those opened before keep theirs. The node need not exist yet.
    void Serve(const std::string& devNode, NodeIoctlHandler::EndpointOpener opener);
    // Files opened on the node from now on fail every ioctl with ENODEV.
    void StopServing(const std::string& devNode);

private:
    void OpenSockets() const;

    // umockdev answers on its own worker thread: the test bed goes before the handler.
    NodeIoctlHandler handler_;
    std::set<std::string> attached_;
    _UMockdevTestbed* testbed_ = nullptr;
    std::string root_;
};

}  // namespace tarnix::sim
