#pragma once

#include <map>
#include <memory>
#include <string>

#include "tests/platform/usb/ScriptedDevice.h"

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace tarnix::test {

// A umockdev test bed for one test: a /sys and /dev of our own that this process (it runs under the
// umockdev preload) and the programs it starts see instead of the machine's. Devices are described in the
// record format of umockdev-record; the ioctls on a node are answered by the scripted device served there.
class UmockdevTestBed {
public:
    UmockdevTestBed();
    ~UmockdevTestBed();
    UmockdevTestBed(const UmockdevTestBed&) = delete;
    UmockdevTestBed& operator=(const UmockdevTestBed&) = delete;

    // Adds the devices of the records (P: lines without the /sys prefix); throws std::runtime_error.
    void AddRecords(const std::string& records);
    // Removes one device ("/devices/..."): its sysfs folder and its node. Remove children first.
    void RemoveDevice(const std::string& devicePath);
    // Changes a udev property or a sysfs attribute of a device ("/devices/...") in place.
    void SetProperty(const std::string& devicePath, const std::string& name, const std::string& value);
    void SetAttribute(const std::string& devicePath, const std::string& name, const std::string& value);
    // From now on, descriptors opened on the node ("/dev/hidraw0") meet this device; those opened
    // before stay with the device they met.
    void Serve(const std::string& node, std::shared_ptr<ScriptedDevice> device);
    // The test bed's folder (it holds sys/ and dev/).
    std::string RootFolder() const;

private:
    class NodeServer;

    UMockdevTestbed* testbed_;
    std::map<std::string, std::unique_ptr<NodeServer>> servers_;
};

}  // namespace tarnix::test
