#include "tests/platform/usb/UsbTestBus.h"

#include <filesystem>

#include "platform/BackendFactories.h"

namespace tarnix::test {

// A test bed is a device tree of its own, whose devices may stand at the paths and device numbers of an
// earlier one's with other contents. The backend keeps what it learnt of a device only while its looks at
// the bus list it: one look at each class of the new bus, before anything is plugged in, lets go of them all.
UsbTestBus::UsbTestBus()
{
    testBed_.Add(usb_records::RootHubRecords());
    platform::ActiveDeviceEnumerator().PresentInterfaces(io::Guid::HidInterfaceClass());
    platform::ActiveDeviceEnumerator().PresentInterfaces(io::Guid::UsbDeviceInterfaceClass());
}

std::shared_ptr<ScriptedHidraw> UsbTestBus::Plug(const usb_records::HidSensorRecord& sensor)
{
    auto device = std::make_shared<ScriptedHidraw>();
    testBed_.Add(sensor.Records());
    if (sensor.hasNode) {
        Serve(sensor.Node(), device);
    }
    plugged_[usb_records::UsbDevicePath(sensor.port)] = device;
    return device;
}

std::shared_ptr<ScriptedDfuDevice> UsbTestBus::Plug(const usb_records::DfuDeviceRecord& dfu)
{
    auto device = std::make_shared<ScriptedDfuDevice>();
    testBed_.Add(dfu.Records());
    if (dfu.hasNode) {
        Serve(dfu.Node(), device);
    }
    plugged_[usb_records::UsbDevicePath(dfu.port)] = device;
    return device;
}

// Every file opened on the node from now on meets this device.
void UsbTestBus::Serve(const std::string& node, std::shared_ptr<ScriptedDevice> device)
{
    testBed_.Serve(node, [device] { return device; });
}

void UsbTestBus::Unplug(const usb_records::HidSensorRecord& sensor)
{
    Unplug(usb_records::UsbDevicePath(sensor.port), sensor.Paths());
    // The test bed leaves the /sys/dev/char link of a removed node behind; the kernel does not.
    if (const auto dev = sensor.DevAttribute()) {
        std::filesystem::remove(testBed_.Root() + "/sys/dev/char/" + *dev);
    }
}

void UsbTestBus::Unplug(const usb_records::DfuDeviceRecord& device)
{
    Unplug(usb_records::UsbDevicePath(device.port), device.Paths());
}

void UsbTestBus::Unplug(const std::string& usbDevicePath, const std::vector<std::string>& paths)
{
    const auto found = plugged_.find(usbDevicePath);
    if (found != plugged_.end()) {
        found->second->Unplug();
        plugged_.erase(found);
    }
    for (const std::string& path : paths) {
        testBed_.Remove(path);
    }
}

}  // namespace tarnix::test
