#include "io/DeviceEnumerator.h"

#include <gtest/gtest.h>

#include "core/UsbHandler.h"
#include "platform/BackendFactories.h"
#include "platform/linux/UdevDevice.h"
#include "platform/linux/UdevInterfaceCache.h"
#include "tests/platform/usb/UsbTestBus.h"

namespace {

using tarnix::io::DeviceInterface;
using tarnix::io::Guid;
using tarnix::io::HidDevice;
using tarnix::platform::ActiveDeviceEnumerator;
using tarnix::platform::OpenHidDevice;
using tarnix::platform::UdevDevice;
using tarnix::platform::UdevInterfaceCache;
using tarnix::test::UsbTestBus;
using tarnix::test::usb_records::DfuDeviceRecord;
using tarnix::test::usb_records::HidSensorRecord;
using tarnix::test::usb_records::UsbDevicePath;

const Guid kHidSetupClass = *Guid::Parse("{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}");
const Guid kUsbSetupClass = *Guid::Parse("{36FC9E60-C465-11CF-8056-444553540000}");

std::vector<DeviceInterface> HidInterfaces()
{
    return ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass());
}

std::vector<DeviceInterface> UsbDevices()
{
    return ActiveDeviceEnumerator().PresentInterfaces(Guid::UsbDeviceInterfaceClass());
}

bool Lists(const std::vector<DeviceInterface>& interfaces, const std::string& name)
{
    for (const DeviceInterface& interface : interfaces) {
        if (interface.devicePath == name) {
            return true;
        }
    }
    return false;
}

// A HID device of another transport (I2C): it has a hidraw node but no USB interface above it.
const char* const kI2cTouchpad =
    "P: /devices/platform/AMDI0010:01/i2c-1/i2c-SYNA7DB5:00/0018:06CB:CE7E.0001\nE: SUBSYSTEM=hid\n"
    "H: report_descriptor=0501090206a10100c0\n\n"
    "P: /devices/platform/AMDI0010:01/i2c-1/i2c-SYNA7DB5:00/0018:06CB:CE7E.0001/hidraw/hidraw7\nN: hidraw7\n"
    "E: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw7\n\n";

TEST(UdevDeviceEnumerator, ListsBothInterfaceClassesWithNamesIdentifiersAndSetupClasses)
{
    UsbTestBus bus;
    HidSensorRecord sensor;
    sensor.port = 1;
    sensor.hidCounter = 0x000A;
    sensor.devnum = 2;
    DfuDeviceRecord dfu;
    dfu.port = 2;
    dfu.devnum = 3;
    DfuDeviceRecord withoutRule;
    withoutRule.port = 3;
    withoutRule.devnum = 4;
    withoutRule.driverProperty = false;
    bus.Plug(sensor);
    bus.Plug(dfu);
    bus.Plug(withoutRule);
    bus.TestBed().Add(kI2cTouchpad);

    const std::vector<DeviceInterface> hid = HidInterfaces();
    ASSERT_EQ(hid.size(), 1u) << "the I2C device's hidraw node is not a USB HID interface";
    EXPECT_EQ(hid[0].devicePath, "/dev/hidraw0#0003:3C9E:0101.000A");
    EXPECT_EQ(hid[0].hardwareId, "HID\\VID_3C9E&PID_0101&REV_0100");
    EXPECT_EQ(hid[0].setupClass, kHidSetupClass);

    const std::vector<DeviceInterface> usb = UsbDevices();
    ASSERT_EQ(usb.size(), 4u);
    EXPECT_EQ(usb[0].devicePath, "/dev/bus/usb/001/001") << "sysfs path order: the root hub first";
    EXPECT_EQ(usb[0].hardwareId, "USB\\VID_1D6B&PID_0002&REV_0601");
    EXPECT_EQ(usb[0].setupClass, Guid());
    EXPECT_EQ(usb[1].devicePath, "/dev/bus/usb/001/002");
    EXPECT_EQ(usb[1].hardwareId, "USB\\VID_3C9E&PID_0101&REV_0100");
    EXPECT_EQ(usb[1].setupClass, Guid());
    EXPECT_EQ(usb[2].devicePath, "/dev/bus/usb/001/003");
    EXPECT_EQ(usb[2].hardwareId, "USB\\VID_0483&PID_DF11&REV_2200");
    EXPECT_EQ(usb[2].setupClass, kUsbSetupClass) << "the rule's property makes it a USB-class device";
    EXPECT_EQ(usb[3].devicePath, "/dev/bus/usb/001/004");
    EXPECT_EQ(usb[3].setupClass, Guid()) << "no property: another class";

    const std::vector<DeviceInterface> again = UsbDevices();
    ASSERT_EQ(again.size(), usb.size());
    for (std::size_t i = 0; i < usb.size(); ++i) {
        EXPECT_EQ(again[i].devicePath, usb[i].devicePath) << "the order is stable between calls";
    }
    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(kUsbSetupClass).empty()) << "no interface class";
}

TEST(UdevDeviceEnumerator, DfuDeviceWithoutTheRulesPropertyIsIncompatibleForDiscovery)
{
    UsbTestBus bus;
    DfuDeviceRecord withoutRule;
    withoutRule.port = 1;
    withoutRule.devnum = 5;
    withoutRule.driverProperty = false;
    bus.Plug(withoutRule);
    std::string name = "untouched";
    bool incompatible = false;
    EXPECT_FALSE(UsbHandler::GetInstance()->FindDfuDevicePath(name, incompatible));
    EXPECT_TRUE(incompatible);
    EXPECT_EQ(name, "untouched");

    DfuDeviceRecord withRule;
    withRule.port = 2;
    withRule.devnum = 6;
    bus.Plug(withRule);
    EXPECT_TRUE(UsbHandler::GetInstance()->FindDfuDevicePath(name, incompatible));
    EXPECT_TRUE(incompatible) << "the other one is still there";
    EXPECT_EQ(name, "/dev/bus/usb/001/006");
}

// The kernel lists a device before it makes its node, and a node's path may still lead to the node of an
// earlier device: such a device is not listed yet, so that discovery never registers a sensor it cannot open
// or a bootloader it cannot reach. It is listed as soon as its node is there.
TEST(UdevDeviceEnumerator, DevicesAreListedOnceTheirNodesAreThere)
{
    UsbTestBus bus;
    HidSensorRecord withoutNode;
    withoutNode.port = 1;
    withoutNode.hidCounter = 0x000A;
    withoutNode.hidraw = 0;
    withoutNode.devnum = 2;
    withoutNode.hasNode = false;
    HidSensorRecord otherNode;
    otherNode.port = 2;
    otherNode.hidCounter = 0x000B;
    otherNode.hidraw = 1;
    otherNode.devnum = 3;
    otherNode.deviceNumber = HidSensorRecord::DeviceNumber::Mismatched;
    DfuDeviceRecord dfuWithoutNode;
    dfuWithoutNode.port = 3;
    dfuWithoutNode.devnum = 4;
    dfuWithoutNode.hasNode = false;
    bus.Plug(withoutNode);
    bus.Plug(otherNode);
    bus.Plug(dfuWithoutNode);
    EXPECT_TRUE(HidInterfaces().empty());
    EXPECT_FALSE(Lists(UsbDevices(), dfuWithoutNode.Node()));
    std::string name;
    EXPECT_FALSE(UsbHandler::GetInstance()->FindSensorDevicePath(name));

    // The same devices once their nodes are there (the test bed makes a device in one go, so they come again).
    bus.Unplug(withoutNode);
    bus.Unplug(otherNode);
    bus.Unplug(dfuWithoutNode);
    HidSensorRecord ready = withoutNode;
    ready.hidCounter = 0x000C;
    ready.hidraw = 2;
    ready.hasNode = true;
    DfuDeviceRecord dfuReady = dfuWithoutNode;
    dfuReady.devnum = 5;
    dfuReady.hasNode = true;
    bus.Plug(ready);
    bus.Plug(dfuReady);
    const std::vector<DeviceInterface> hid = HidInterfaces();
    ASSERT_EQ(hid.size(), 1u);
    EXPECT_EQ(hid[0].devicePath, ready.DeviceName());
    EXPECT_TRUE(Lists(UsbDevices(), dfuReady.Node()));
    EXPECT_TRUE(OpenHidDevice(ready.DeviceName(), HidDevice::Access::ReadWrite));
}

TEST(UdevDeviceEnumerator, UnreadableIdentifierGivesAnEmptyHardwareId)
{
    UsbTestBus bus;
    bus.TestBed().Add(
        "P: /devices/pci0000:00/0000:00:14.0/usb1/1-4\nN: bus/usb/001/009\nE: SUBSYSTEM=usb\n"
        "E: DEVTYPE=usb_device\nE: DEVNAME=/dev/bus/usb/001/009\nA: idVendor=0483\\n\nA: idProduct=df11\\n\n\n");
    const std::vector<DeviceInterface> usb = UsbDevices();
    ASSERT_EQ(usb.size(), 2u);
    EXPECT_EQ(usb[1].devicePath, "/dev/bus/usb/001/009");
    EXPECT_EQ(usb[1].hardwareId, "") << "no bcdDevice attribute";
}

TEST(UdevDeviceEnumerator, ReplugAtTheSamePortIsANewName)
{
    UsbTestBus bus;
    HidSensorRecord first;
    first.port = 1;
    first.hidCounter = 0x000A;
    first.hidraw = 0;
    first.devnum = 2;
    auto firstDevice = bus.Plug(first);
    auto handle = OpenHidDevice(first.DeviceName(), HidDevice::Access::ReadWrite);
    ASSERT_TRUE(handle);
    ASSERT_TRUE(Lists(HidInterfaces(), first.DeviceName()));

    // Unplugged and another sensor plugged into the same port before the next search pass: same sysfs port
    // path, but the kernel's HID counter and USB device number moved on. (The test bed cannot create a
    // node name twice, so the new one also gets another hidraw node; the next test covers a reused node.)
    bus.Unplug(first);
    HidSensorRecord second = first;
    second.hidCounter = 0x000B;
    second.hidraw = 1;
    second.devnum = 3;
    second.serial = "TS0002";
    auto secondDevice = bus.Plug(second);

    const std::vector<DeviceInterface> hid = HidInterfaces();
    ASSERT_EQ(hid.size(), 1u);
    EXPECT_EQ(hid[0].devicePath, "/dev/hidraw1#0003:3C9E:0101.000B");
    EXPECT_FALSE(Lists(UsbDevices(), "/dev/bus/usb/001/002")) << "the old USB device name is seen as removed";
    EXPECT_TRUE(Lists(UsbDevices(), "/dev/bus/usb/001/003"));

    EXPECT_FALSE(OpenHidDevice(first.DeviceName(), HidDevice::Access::Probe));
    const std::uint8_t request[] = {0x01, 0x00};
    EXPECT_FALSE(handle->SetFeature(request, sizeof request)) << "the old handle reaches no device";
    EXPECT_FALSE(handle->SerialNumberString()) << "nor the strings of the sensor now at its port";
    EXPECT_FALSE(handle->Capabilities());
    EXPECT_TRUE(firstDevice->SentReports().empty());

    auto fresh = OpenHidDevice(second.DeviceName(), HidDevice::Access::ReadWrite);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->SerialNumberString(), "TS0002");
    EXPECT_TRUE(fresh->SetFeature(request, sizeof request));
    EXPECT_EQ(secondDevice->SentReports().size(), 1u);
}

TEST(UdevDeviceEnumerator, NameOfAReusedNodeDoesNotOpenTheNewDevice)
{
    // hidraw0 now belongs to HID device 000B; the name the earlier sensor had on the same node is stale.
    UsbTestBus bus;
    HidSensorRecord now;
    now.hidCounter = 0x000B;
    bus.Plug(now);
    HidSensorRecord earlier = now;
    earlier.hidCounter = 0x000A;
    ASSERT_EQ(earlier.Node(), now.Node());
    EXPECT_FALSE(Lists(HidInterfaces(), earlier.DeviceName()));
    EXPECT_FALSE(OpenHidDevice(earlier.DeviceName(), HidDevice::Access::Probe));
    EXPECT_FALSE(OpenHidDevice(earlier.DeviceName(), HidDevice::Access::ReadWrite));
    EXPECT_TRUE(OpenHidDevice(now.DeviceName(), HidDevice::Access::ReadWrite));
}

// A USB device with a node and nothing else, at a sysfs path of its own.
std::string BareUsbDevice(const std::string& path, int devnum)
{
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/001/%03d", devnum);
    return "P: " + path + "\nN: " + node + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/" + node +
           "\nA: devnum=" + std::to_string(devnum) + "\\n\n\n";
}

TEST(UdevDeviceEnumerator, ListsInTheOrderUdevItselfListsIn)
{
    // Paths where comparing the whole text and comparing folder by folder disagree: a controller whose name
    // is another's with a suffix, and devices behind a hub next to ports with longer numbers.
    UsbTestBus bus;
    bus.TestBed().Add(BareUsbDevice("/devices/platform/xhci-hcd.0.auto/usb2", 10) +
                      BareUsbDevice("/devices/platform/xhci-hcd.0/usb3", 11) +
                      BareUsbDevice("/devices/platform/xhci-hcd.0/usb3/3-1", 12) +
                      BareUsbDevice("/devices/platform/xhci-hcd.0/usb3/3-1/3-1.2", 13) +
                      BareUsbDevice("/devices/platform/xhci-hcd.0/usb3/3-10", 14) +
                      BareUsbDevice("/devices/platform/xhci-hcd.0/usb3/3-1-x", 15));
    std::vector<std::string> udevOrder;
    for (const UdevDevice& device : UdevDevice::List("usb", "usb_device")) {
        udevOrder.push_back(*device.Devnode());
    }
    std::vector<std::string> listed;
    for (const DeviceInterface& device : UsbDevices()) {
        listed.push_back(device.devicePath);
    }
    ASSERT_EQ(listed.size(), 7u);
    EXPECT_EQ(listed, udevOrder);
    EXPECT_TRUE(UdevInterfaceCache::InUdevOrder("/sys/devices/platform/xhci-hcd.0/usb3",
                                                "/sys/devices/platform/xhci-hcd.0.auto/usb2"));
    EXPECT_FALSE(UdevInterfaceCache::InUdevOrder("/sys/devices/usb1", "/sys/devices/usb1"));
}

TEST(UdevDeviceEnumerator, DeviceIsReadOnceWhileItStaysPluggedUnlessItAwaitsTheRulesProperty)
{
    UsbTestBus bus;
    HidSensorRecord sensor;
    sensor.port = 1;
    sensor.devnum = 2;
    DfuDeviceRecord bootloader;
    bootloader.port = 2;
    bootloader.devnum = 3;
    bootloader.driverProperty = false;
    bus.Plug(sensor);
    bus.Plug(bootloader);
    ASSERT_EQ(UsbDevices().size(), 3u);
    ASSERT_EQ(HidInterfaces().size(), 1u);
    EXPECT_EQ(UsbDevices()[2].setupClass, Guid()) << "no driver property yet";

    // Attributes do not change while a device stays plugged in; a look does not read them again.
    bus.TestBed().SetAttribute(UsbDevicePath(1), "bcdDevice", "0200\n");
    EXPECT_EQ(UsbDevices()[1].hardwareId, "USB\\VID_3C9E&PID_0101&REV_0100");
    EXPECT_EQ(HidInterfaces()[0].hardwareId, "HID\\VID_3C9E&PID_0101&REV_0100");

    // The rule applied to the plugged-in bootloader: the next look sees it in the USB class.
    bus.TestBed().SetProperty(UsbDevicePath(2), "TARNIX_DFU_DRIVER", "1");
    EXPECT_EQ(UsbDevices()[2].setupClass, kUsbSetupClass);
    std::string name;
    bool incompatible = true;
    EXPECT_TRUE(UsbHandler::GetInstance()->FindDfuDevicePath(name, incompatible));
    EXPECT_FALSE(incompatible);
    EXPECT_EQ(name, bootloader.Node());

    // Unplugged and plugged in again at the same port: read afresh.
    bus.Unplug(sensor);
    EXPECT_TRUE(HidInterfaces().empty());
    HidSensorRecord again = sensor;
    again.hidCounter = 0x000B;
    again.hidraw = 1;
    again.devnum = 4;
    bus.Plug(again);
    const std::vector<DeviceInterface> usb = UsbDevices();
    ASSERT_EQ(usb.size(), 3u);
    EXPECT_EQ(usb[1].devicePath, "/dev/bus/usb/001/004");
    EXPECT_EQ(usb[1].hardwareId, "USB\\VID_3C9E&PID_0101&REV_0100");
    ASSERT_EQ(HidInterfaces().size(), 1u);
    EXPECT_EQ(HidInterfaces()[0].devicePath, again.DeviceName());
}

}  // namespace
