#pragma once

#include <map>
#include <memory>
#include <string>

#include "sim/testbed/DeviceTestbed.h"
#include "tests/platform/usb/ScriptedDfuDevice.h"
#include "tests/platform/usb/ScriptedHidraw.h"
#include "tests/platform/usb/UsbRecords.h"

namespace tarnix::test {

// A real-looking USB bus for one test: bus 1 with its root hub in a umockdev test bed, onto which sensors
// in normal mode and devices in DFU mode are plugged and unplugged, each with its scripted device.
class UsbTestBus {
public:
    UsbTestBus();

    std::shared_ptr<ScriptedHidraw> Plug(const usb_records::HidSensorRecord& sensor);
    std::shared_ptr<ScriptedDfuDevice> Plug(const usb_records::DfuDeviceRecord& device);
    // The device stops answering (ENODEV) and its devices leave sysfs, children first.
    void Unplug(const usb_records::HidSensorRecord& sensor);
    void Unplug(const usb_records::DfuDeviceRecord& device);

    sim::DeviceTestbed& TestBed() { return testBed_; }

private:
    void Unplug(const std::string& usbDevicePath, const std::vector<std::string>& paths);

    void Serve(const std::string& node, std::shared_ptr<ScriptedDevice> device);

    sim::DeviceTestbed testBed_;
    std::map<std::string, std::shared_ptr<ScriptedDevice>> plugged_;  // by USB device path
};

}  // namespace tarnix::test
