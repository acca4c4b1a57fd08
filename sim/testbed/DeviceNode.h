#pragma once

#include <string>

namespace tarnix::sim {

// The node of a test-bed device that the test bed makes apart from the device's record (DeviceTestbed::MakeNode
// and FinishNode; the record names it with UdevRecord::NodeMadeApart): its path, the device's sysfs path and
// its character device number.
struct DeviceNode {
    std::string devNode;  // "/dev/hidraw0"
    std::string sysPath;  // "/sys/devices/.../hidraw/hidraw0"
    unsigned major = 0;
    unsigned minor = 0;

    // "MAJOR:MINOR", as the dev attribute gives it.
    std::string Number() const { return std::to_string(major) + ":" + std::to_string(minor); }
};

}  // namespace tarnix::sim
