#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "sim/testbed/DeviceNode.h"
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
    // Removes one device, with its node; remove its children first.
    void Remove(const std::string& sysPath);

    // A device whose node is made apart from its records (UdevRecord::NodeMadeApart) appears in the order
    // the kernel and udev keep: what answers the node (Serve), the node (MakeNode), the records (Add), and
    // last the link from the device's number to the node (FinishNode). A program finds a device through its
    // records and takes a node for the device's once its number is linked, so it opens neither a node
    // that does not answer yet nor one that is not there yet. The device goes in the opposite order:
    // StopServing, then Remove (children first), which takes the node away.
    //
    // Why it matters: umockdev's preload connects every open of a /dev path to an ioctl socket (the node's
    // own, or else the test bed's default one) and keeps that connection, and an entry of a table of 50,
    // until the descriptor is closed: for ever when the open failed. Once the table is full it stops the
    // program. (Without the default socket it would stop a program that opens a node without a socket of
    // its own, and leak a descriptor in every program for each open of any other /dev path.)
    // Makes the node as an empty file, owned by this process and readable by all.
    void MakeNode(const DeviceNode& node);
    // Links the device's number to the node; its records must be in place.
    void FinishNode(const DeviceNode& node);
    // Sets a udev property of a device; umockdev replaces its uevent file at once (a new file renamed over
    // it), so that a reader sees the device with or without the property, never a partial one.
    void SetProperty(const std::string& sysPath, const std::string& name, const std::string& value);
    // Sets a sysfs attribute of a device in place.
    void SetAttribute(const std::string& sysPath, const std::string& name, const std::string& value);
    // From now on, files opened on the device node ("/dev/hidraw0") get their endpoints from the opener;
    // those opened before keep theirs. The node need not exist yet.
    void Serve(const std::string& devNode, NodeIoctlHandler::EndpointOpener opener);
    // Ends serving the node: its ioctl socket goes at once; files opened on it before keep their endpoints.
    void StopServing(const std::string& devNode);

private:
    void OpenSockets() const;
    // The text of a device's `dev` attribute ("MAJOR:MINOR"); nothing when it has none.
    std::optional<std::string> DevAttribute(const std::string& sysPath) const;

    // umockdev answers on its own worker thread: the test bed goes before the handler.
    NodeIoctlHandler handler_;
    std::set<std::string> attached_;
    std::unique_ptr<_UMockdevTestbed, void (*)(void*)> testbed_;
    std::string root_;
};

}  // namespace tarnix::sim
