#pragma once

#include <string>
#include <vector>

#include "sim/sensor/SensorState.h"
#include "sim/testbed/DeviceNode.h"

namespace tarnix::sim {

// Where one personality of a sensor sits on the emulated bus: its port on the root hub of bus 1, its USB
// device number, and in normal mode the kernel's HID device counter and the minor of its hidraw node.
struct BusPlacement {
    unsigned port = 1;
    unsigned deviceNumber = 2;
    unsigned hidCounter = 1;
    unsigned hidrawMinor = 0;
};

// The devices of one personality as umockdev records (the format of umockdev-record), laid out as the kernel
// lays out a USB device in sysfs, with the paths usb-run needs to follow and answer them. The records carry
// no node lines: the nodes are made apart (DeviceTestbed::MakeNode and FinishNode).
struct DeviceRecordSet {
    std::string records;
    std::vector<std::string> sysPaths;  // parents first
    std::vector<DeviceNode> nodes;      // the usb_device's node, and in normal mode the hidraw node
    std::string usbNode;                // the usb_device's node, "/dev/bus/usb/001/DDD"
    std::string hidrawNode;             // "/dev/hidrawK"; empty in DFU mode
    bool hidrawRefusesOpen = false;     // the hidraw node is there, but cannot be opened
    std::string usbDevicePath;          // sysfs path of the usb_device
};

// Builds the sysfs records of the emulated bus: the host controller with the root hub of bus 1, and a
// sensor's personality in its current mode (HID device with a hidraw node, or DfuSe bootloader).
class UsbDeviceRecords {
public:
    static constexpr unsigned kHidrawMajor = 241;
    static constexpr const char* kDfuDriverProperty = "TARNIX_DFU_DRIVER";

    static std::string RootHub();
    static DeviceRecordSet Sensor(const SensorState& state, const BusPlacement& placement);

    // Text of the usb_device's manufacturer and product strings in the sensor's current mode.
    static std::string Manufacturer(const SensorState& state);
    static std::string Product(const SensorState& state);
};

}  // namespace tarnix::sim
