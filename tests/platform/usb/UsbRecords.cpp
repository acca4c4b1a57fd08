#include "tests/platform/usb/UsbRecords.h"

#include <cstdio>

#include "sim/testbed/UdevRecord.h"

namespace tarnix::test::usb_records {

namespace {

std::string Format(const char* format, int value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The lines of a USB device record that every personality shares.
sim::UdevRecord UsbDeviceRecord(int port, int devnum, const char* vendor, const char* product, const char* bcdDevice,
                                bool hasNode)
{
    const std::string node = UsbfsNode(devnum);
    sim::UdevRecord record(UsbDevicePath(port));
    if (hasNode) {
        record.Node(node);
    }
    record.Property("SUBSYSTEM", "usb")
        .Property("DEVTYPE", "usb_device")
        .Property("DEVNAME", node)
        .Property("BUSNUM", "001")
        .Property("DEVNUM", Format("%03d", devnum))
        .Property("ID_VENDOR_ID", vendor)
        .Property("ID_MODEL_ID", product)
        .Text("idVendor", vendor)
        .Text("idProduct", product)
        .Text("bcdDevice", bcdDevice)
        .Text("busnum", "1")
        .Text("devnum", std::to_string(devnum));
    return record;
}

std::string InterfacePath(int port) { return UsbDevicePath(port) + "/1-" + std::to_string(port) + ":1.0"; }

sim::UdevRecord InterfaceRecord(int port, const char* interfaceClass, const char* subclass, const char* protocol)
{
    sim::UdevRecord record(InterfacePath(port));
    record.Property("SUBSYSTEM", "usb")
        .Property("DEVTYPE", "usb_interface")
        .Text("bInterfaceClass", interfaceClass)
        .Text("bInterfaceSubClass", subclass)
        .Text("bInterfaceProtocol", protocol)
        .Text("bInterfaceNumber", "00");
    return record;
}

// The device descriptor and a configuration with one HID interface.
descriptors::Bytes HidModeDescriptors()
{
    using namespace descriptors;
    return Join({DeviceDescriptor(0x3C9E, 0x0101, 0x0100),
                 ConfigurationDescriptor(34),
                 InterfaceDescriptor(0, 0, 0x03, 0x00, 0),
                 {9, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, 0x5A, 0x00},
                 {7, 0x05, 0x81, 0x03, 0x40, 0x00, 0x01}});
}

}  // namespace

std::string UsbDevicePath(int port) { return std::string(kRootHub) + "/1-" + std::to_string(port); }

std::string UsbfsNode(int devnum) { return "/dev/bus/usb/001/" + Format("%03d", devnum); }

std::string RootHubRecords()
{
    sim::UdevRecord hub(kRootHub);
    hub.Node(UsbfsNode(1))
        .Property("SUBSYSTEM", "usb")
        .Property("DEVTYPE", "usb_device")
        .Property("DEVNAME", UsbfsNode(1))
        .Property("BUSNUM", "001")
        .Property("DEVNUM", "001")
        .Text("idVendor", "1d6b")
        .Text("idProduct", "0002")
        .Text("bcdDevice", "0601")
        .Text("busnum", "1")
        .Text("devnum", "1")
        .Binary("descriptors", descriptors::DeviceDescriptor(0x1D6B, 0x0002, 0x0601));
    return hub.Finish();
}

std::string HidSensorRecord::HidSysname() const { return "0003:3C9E:0101." + Format("%04X", hidCounter); }

std::string HidSensorRecord::HidPath() const { return InterfacePath(port) + "/" + HidSysname(); }

std::string HidSensorRecord::HidrawPath() const { return HidPath() + "/hidraw/hidraw" + std::to_string(hidraw); }

std::string HidSensorRecord::Node() const { return "/dev/hidraw" + std::to_string(hidraw); }

std::string HidSensorRecord::DeviceName() const { return Node() + "#" + HidSysname(); }

std::optional<std::string> HidSensorRecord::DevAttribute() const
{
    switch (deviceNumber) {
        case DeviceNumber::Kernel:
            return "240:" + std::to_string(hidraw);
        case DeviceNumber::Mismatched:
            return "240:" + std::to_string(hidraw + 100);
        default:
            return std::nullopt;
    }
}

std::vector<std::string> HidSensorRecord::Paths() const
{
    return {HidrawPath(), HidPath(), InterfacePath(port), UsbDevicePath(port)};
}

std::string HidSensorRecord::Records() const
{
    sim::UdevRecord device = UsbDeviceRecord(port, devnum, "3c9e", "0101", "0100", true);
    device.Text("manufacturer", manufacturer).Text("product", product);
    if (serial) {
        device.Text("serial", *serial);
    }
    device.Binary("descriptors", HidModeDescriptors());
    sim::UdevRecord hid(HidPath());
    hid.Property("SUBSYSTEM", "hid")
        .Property("HID_ID", "0003:00003C9E:00000101")
        .Property("HID_NAME", manufacturer + " " + product)
        .Binary("report_descriptor", reportDescriptor);
    sim::UdevRecord hidrawDevice(HidrawPath());
    if (hasNode) {
        hidrawDevice.Node(Node());
    }
    hidrawDevice.Property("SUBSYSTEM", "hidraw").Property("DEVNAME", Node());
    if (const auto dev = DevAttribute()) {
        hidrawDevice.Property("MAJOR", "240").Property("MINOR", std::to_string(hidraw)).DevAttribute(*dev);
    }
    return device.Finish() + InterfaceRecord(port, "03", "00", "00").Finish() + hid.Finish() + hidrawDevice.Finish();
}

std::string DfuDeviceRecord::Node() const { return UsbfsNode(devnum); }

std::vector<std::string> DfuDeviceRecord::Paths() const { return {InterfacePath(port), UsbDevicePath(port)}; }

std::string DfuDeviceRecord::Records() const
{
    sim::UdevRecord device = UsbDeviceRecord(port, devnum, "0483", "df11", "2200", hasNode);
    if (driverProperty) {
        device.Property("TARNIX_DFU_DRIVER", "1");
    }
    device.Text("manufacturer", "STMicroelectronics")
        .Text("product", "DFU in FS Mode")
        .Binary("descriptors", descriptors);
    sim::UdevRecord interface = InterfaceRecord(port, "fe", "01", "02");
    interface.Text("interface", kMemoryLayout);
    return device.Finish() + interface.Finish();
}

}  // namespace tarnix::test::usb_records
