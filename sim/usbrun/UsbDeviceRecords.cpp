#include "sim/usbrun/UsbDeviceRecords.h"

#include <cstdio>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/TextNumbers.h"
#include "sim/sensor/UsbDescriptorBuilder.h"
#include "sim/testbed/UdevRecord.h"
#include "io/DfuProtocol.h"

namespace tarnix::sim {

namespace {

constexpr const char* kControllerPath = "/sys/devices/pci0000:00/0000:00:14.0";
constexpr const char* kRootHubPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1";
constexpr unsigned kUsbDeviceMajor = 189;
constexpr const char* kBootloaderManufacturer = "STMicroelectronics";
constexpr const char* kBootloaderProduct = "STM32  BOOTLOADER";

std::string Format(const char* format, unsigned value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

struct UsbIdentity {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint16_t bcdDevice;
};

DeviceNode UsbNode(const std::string& sysPath, unsigned deviceNumber)
{
    return {"/dev/bus/usb/001/" + Format("%03u", deviceNumber), sysPath, kUsbDeviceMajor, deviceNumber - 1};
}

// The usb_device record shared by the root hub and both personalities: identity, numbering, strings. The
// node is the caller's.
UdevRecord UsbDevice(const std::string& sysPath, unsigned deviceNumber, const UsbIdentity& identity)
{
    const std::string devnum = Format("%03u", deviceNumber);
    UdevRecord record(sysPath);
    record.Property("SUBSYSTEM", "usb")
        .Property("DEVTYPE", "usb_device")
        .Property("DRIVER", "usb")
        .Property("BUSNUM", "001")
        .Property("DEVNUM", devnum)
        .Property("PRODUCT", Format("%x", identity.vendorId) + "/" + Format("%x", identity.productId) + "/" +
                                 Format("%x", identity.bcdDevice))
        .Property("ID_VENDOR_ID", Format("%04x", identity.vendorId))
        .Property("ID_MODEL_ID", Format("%04x", identity.productId));
    record.Text("idVendor", Format("%04x", identity.vendorId))
        .Text("idProduct", Format("%04x", identity.productId))
        .Text("bcdDevice", Format("%04x", identity.bcdDevice))
        .Text("busnum", "1")
        .Text("devnum", std::to_string(deviceNumber))
        .Text("bNumConfigurations", "1")
        .Text("bConfigurationValue", "1")
        .Text("version", " 2.00");
    return record;
}

std::vector<std::uint8_t> Joined(std::vector<std::uint8_t> first, const std::vector<std::uint8_t>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

UdevRecord SensorUsbDevice(const SensorState& state, const std::string& sysPath, unsigned deviceNumber,
                           const UsbIdentity& identity)
{
    UdevRecord record = UsbDevice(sysPath, deviceNumber, identity);
    record.NodeMadeApart(UsbNode(sysPath, deviceNumber))
        .Text("bDeviceClass", "00")
        .Text("speed", "12")
        .Text("manufacturer", UsbDeviceRecords::Manufacturer(state))
        .Text("product", UsbDeviceRecords::Product(state));
    if (!state.serialStringFails) {
        record.Text("serial", state.serial);
    }
    return record;
}

void AddNormalMode(const SensorState& state, const BusPlacement& placement, DeviceRecordSet& set)
{
    const std::string port = "1-" + std::to_string(placement.port);
    const std::string interfacePath = set.usbDevicePath + "/" + port + ":1.0";
    const std::string hidName = "0003:" + Format("%04X", kSensorVendorId) + ":" + Format("%04X", kSensorProductId) +
                                Format(".%04X", placement.hidCounter);
    const std::string hidPath = interfacePath + "/" + hidName;
    const std::string hidrawName = "hidraw" + std::to_string(placement.hidrawMinor);
    const std::string hidrawPath = hidPath + "/hidraw/" + hidrawName;
    const std::vector<std::uint8_t> reportDescriptor =
        state.capabilitiesUnreadable
            ? std::vector<std::uint8_t>()
            : UsbDescriptorBuilder::SensorReportDescriptor(state.usagePage, state.usage, state.collections);

    UdevRecord device = SensorUsbDevice(state, set.usbDevicePath, placement.deviceNumber,
                                        {kSensorVendorId, kSensorProductId, kSensorBcdDevice});
    device.Binary("descriptors", Joined(UsbDescriptorBuilder::SensorDevice(),
                                        UsbDescriptorBuilder::SensorConfiguration(reportDescriptor.size())));
    UdevRecord interface(interfacePath);
    interface.Property("SUBSYSTEM", "usb")
        .Property("DEVTYPE", "usb_interface")
        .Property("DRIVER", "usbhid")
        .Property("INTERFACE", "3/0/0")
        .Text("bInterfaceClass", "03")
        .Text("bInterfaceSubClass", "00")
        .Text("bInterfaceProtocol", "00")
        .Text("bInterfaceNumber", "00")
        .Text("bAlternateSetting", " 0")
        .Text("bNumEndpoints", "01");
    UdevRecord hid(hidPath);
    hid.Property("SUBSYSTEM", "hid")
        .Property("DRIVER", "hid-generic")
        .Property("HID_ID", "0003:" + Format("%08X", kSensorVendorId) + ":" + Format("%08X", kSensorProductId))
        .Property("HID_NAME", UsbDeviceRecords::Manufacturer(state) + " " + UsbDeviceRecords::Product(state))
        .Property("HID_PHYS", "usb-0000:00:14.0-" + std::to_string(placement.port) + "/input0")
        .Property("HID_UNIQ", state.serialStringFails ? std::string() : state.serial)
        .Binary("report_descriptor", reportDescriptor);
    UdevRecord hidraw(hidrawPath);
    set.hidrawNode = "/dev/" + hidrawName;
    set.hidrawRefusesOpen = state.openFails;
    const DeviceNode hidrawNode{set.hidrawNode, hidrawPath, UsbDeviceRecords::kHidrawMajor, placement.hidrawMinor};
    hidraw.Property("SUBSYSTEM", "hidraw").NodeMadeApart(hidrawNode);
    set.nodes.push_back(hidrawNode);

    set.records = device.Finish() + interface.Finish() + hid.Finish() + hidraw.Finish();
    set.sysPaths = {set.usbDevicePath, interfacePath, hidPath, hidrawPath};
}

void AddDfuMode(const SensorState& state, const BusPlacement& placement, DeviceRecordSet& set)
{
    const std::string interfacePath = set.usbDevicePath + "/1-" + std::to_string(placement.port) + ":1.0";
    UdevRecord device =
        SensorUsbDevice(state, set.usbDevicePath, placement.deviceNumber, {kDfuVendorId, kDfuProductId, kDfuBcdDevice});
    if (state.driver == DriverKind::Ok) {
        device.Property(UsbDeviceRecords::kDfuDriverProperty, "1");
    }
    device.Binary("descriptors", Joined(UsbDescriptorBuilder::BootloaderDevice(),
                                        UsbDescriptorBuilder::BootloaderConfiguration(kDfuTransferSize)));
    UdevRecord interface(interfacePath);
    interface.Property("SUBSYSTEM", "usb")
        .Property("DEVTYPE", "usb_interface")
        .Property("INTERFACE", Format("%u/", io::dfu::kInterfaceClass) + Format("%u/", io::dfu::kInterfaceSubclass) +
                                   Format("%u", io::dfu::kDfuModeProtocol))
        .Text("bInterfaceClass", Format("%02x", io::dfu::kInterfaceClass))
        .Text("bInterfaceSubClass", Format("%02x", io::dfu::kInterfaceSubclass))
        .Text("bInterfaceProtocol", Format("%02x", io::dfu::kDfuModeProtocol))
        .Text("bInterfaceNumber", "00")
        .Text("bAlternateSetting", " 0")
        .Text("bNumEndpoints", "00")
        .Text("interface", kDfuMemoryLayout);
    set.records = device.Finish() + interface.Finish();
    set.sysPaths = {set.usbDevicePath, interfacePath};
}

}  // namespace

std::string UsbDeviceRecords::RootHub()
{
    UdevRecord controller(kControllerPath);
    controller.Property("SUBSYSTEM", "pci").Property("DRIVER", "xhci_hcd").Property("PCI_CLASS", "C0330");
    const DeviceNode hubNode = UsbNode(kRootHubPath, 1);
    UdevRecord hub = UsbDevice(kRootHubPath, 1, {0x1D6B, 0x0002, 0x0601});
    hub.Node(hubNode.devNode)
        .Property("DEVNAME", hubNode.devNode)
        .CharacterDevice(hubNode.major, hubNode.minor)
        .Text("bDeviceClass", "09")
        .Text("speed", "480")
        .Text("maxchild", "16")
        .Text("manufacturer", "Linux xhci-hcd")
        .Text("product", "xHCI Host Controller")
        .Text("serial", "0000:00:14.0")
        .Binary("descriptors",
                Joined(UsbDescriptorBuilder::RootHubDevice(), UsbDescriptorBuilder::RootHubConfiguration()));
    return controller.Finish() + hub.Finish();
}

DeviceRecordSet UsbDeviceRecords::Sensor(const SensorState& state, const BusPlacement& placement)
{
    DeviceRecordSet set;
    set.usbDevicePath = std::string(kRootHubPath) + "/1-" + std::to_string(placement.port);
    set.nodes.push_back(UsbNode(set.usbDevicePath, placement.deviceNumber));
    set.usbNode = set.nodes.back().devNode;
    if (state.mode == SensorMode::Normal) {
        AddNormalMode(state, placement, set);
    } else {
        AddDfuMode(state, placement, set);
    }
    return set;
}

std::string UsbDeviceRecords::Manufacturer(const SensorState& state)
{
    return state.mode == SensorMode::Normal ? state.manufacturer : kBootloaderManufacturer;
}

std::string UsbDeviceRecords::Product(const SensorState& state)
{
    return state.mode == SensorMode::Normal ? state.product : kBootloaderProduct;
}

}  // namespace tarnix::sim
