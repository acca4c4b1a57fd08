#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/testbed/DeviceNode.h"

namespace tarnix::sim {

// Writes one device of a test bed in the record format of umockdev-record: its sysfs path ("/sys/devices/..."),
// its node ("/dev/..."), udev properties and sysfs attributes. Text attributes end in a newline as the
// kernel's do; they are written as binary attributes, so that no character of a text can break the format.
class UdevRecord {
public:
    explicit UdevRecord(const std::string& sysPath);

    UdevRecord& Node(const std::string& devPath);
    UdevRecord& Property(const std::string& name, const std::string& value);
    UdevRecord& Text(const std::string& name, const std::string& value);
    UdevRecord& Binary(const std::string& name, const std::vector<std::uint8_t>& value);
    // The `dev` attribute ("MAJOR:MINOR"), from which the test bed links the device under /sys/dev.
    UdevRecord& DevAttribute(const std::string& value);
    // A character device's number: the dev attribute and the MAJOR and MINOR properties.
    UdevRecord& CharacterDevice(unsigned major, unsigned minor);
    // The node of a device that the test bed makes apart from the record: its name (DEVNAME) and number
    // (dev, MAJOR, MINOR) without a node line, and without the link from the number to the node, which
    // DeviceTestbed::FinishNode adds once the record is whole.
    UdevRecord& NodeMadeApart(const DeviceNode& node);
    // The record, with the empty line that ends it.
    std::string Finish() const;

private:
    std::string text_;
};

}  // namespace tarnix::sim
