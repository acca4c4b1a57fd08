#include "io/DeviceEnumerator.h"

#include <gtest/gtest.h>

#include "platform/BackendFactories.h"
#include "tests/support/SimulatedBus.h"

namespace {

using tarnix::io::DeviceInterface;
using tarnix::io::Guid;
using tarnix::platform::ActiveDeviceEnumerator;
using tarnix::sim::DriverKind;
using tarnix::sim::SensorMode;
using tarnix::sim::SensorState;
using tarnix::test::SimulatedBus;

const Guid kHidSetupClass = *Guid::Parse("{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}");
const Guid kUsbSetupClass = *Guid::Parse("{36FC9E60-C465-11CF-8056-444553540000}");

SensorState Sensor(const std::string& serial, DriverKind driver = DriverKind::Ok)
{
    SensorState prototype = SimulatedBus::QuickSensor();
    prototype.serial = serial;
    prototype.driver = driver;
    return prototype;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(DeviceEnumerator, ListsEachPersonalityUnderItsInterfaceClass)
{
    SimulatedBus bus;
    bus.Plug(SensorMode::Normal, Sensor("N1"));
    bus.Plug(SensorMode::Dfu, Sensor("D1"));
    bus.Plug(SensorMode::Normal, Sensor("N2"));
    bus.Plug(SensorMode::Dfu, Sensor("D2", DriverKind::Incompatible));

    const std::vector<DeviceInterface> hid = ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass());
    ASSERT_EQ(hid.size(), 2u);
    for (const DeviceInterface& interface : hid) {
        EXPECT_NE(interface.hardwareId.find("VID_3C9E&PID_0101"), std::string::npos);
        EXPECT_EQ(interface.setupClass, kHidSetupClass);
        EXPECT_EQ(interface.devicePath.rfind("\\\\?\\hid#vid_3c9e&pid_0101#", 0), 0u) << interface.devicePath;
        EXPECT_TRUE(EndsWith(interface.devicePath, "#{4d1e55b2-f16f-11cf-88cb-001111000030}"));
    }
    EXPECT_NE(hid[0].devicePath.find("N1"), std::string::npos) << "plug order is enumeration order";
    EXPECT_NE(hid[1].devicePath.find("N2"), std::string::npos);

    const std::vector<DeviceInterface> usb =
        ActiveDeviceEnumerator().PresentInterfaces(Guid::UsbDeviceInterfaceClass());
    ASSERT_EQ(usb.size(), 2u);
    EXPECT_EQ(usb[0].hardwareId, "USB\\VID_0483&PID_DF11&REV_2200");
    EXPECT_EQ(usb[0].setupClass, kUsbSetupClass);
    EXPECT_NE(usb[1].setupClass, kUsbSetupClass) << "the wrong driver puts it into another setup class";
    EXPECT_NE(usb[1].setupClass, Guid());
    EXPECT_EQ(usb[0].devicePath, "\\\\?\\usb#vid_0483&pid_df11#D1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    EXPECT_NE(usb[0].devicePath, usb[1].devicePath);

    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(kUsbSetupClass).empty()) << "not an interface class";
}

TEST(DeviceEnumerator, ReportsConfiguredHardwareIdentifiersAsTheyAre)
{
    SimulatedBus bus;
    SensorState prototype = Sensor("LOWER");
    prototype.dfuHardwareId = "USB\\vid_0483&pid_df11&rev_2200";
    bus.Plug(SensorMode::Dfu, prototype);
    const auto usb = ActiveDeviceEnumerator().PresentInterfaces(Guid::UsbDeviceInterfaceClass());
    ASSERT_EQ(usb.size(), 1u);
    EXPECT_EQ(usb[0].hardwareId, "USB\\vid_0483&pid_df11&rev_2200");
}

TEST(DeviceEnumerator, SensorsOffTheBusAreNotListed)
{
    SimulatedBus bus;
    SensorState slow = Sensor("SLOW");
    slow.reenumerateMs = 60000;
    bus.Plug(SensorMode::Normal, slow);
    const auto hid = ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass());
    ASSERT_EQ(hid.size(), 1u);
    auto device = tarnix::platform::OpenHidDevice(hid[0].devicePath, tarnix::io::HidDevice::Access::ReadWrite);
    ASSERT_TRUE(device);
    const std::uint8_t toDfu[] = {0x80, 0x00};
    ASSERT_TRUE(device->SetFeature(toDfu, sizeof toDfu));
    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass()).empty());
    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(Guid::UsbDeviceInterfaceClass()).empty())
        << "still re-enumerating";

    bus.Plug(SensorMode::Dfu, Sensor("GONE"));
    ASSERT_EQ(ActiveDeviceEnumerator().PresentInterfaces(Guid::UsbDeviceInterfaceClass()).size(), 1u);
    bus.Bus().Unplug("GONE");
    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(Guid::UsbDeviceInterfaceClass()).empty());
}

TEST(DeviceEnumerator, EmptyBusGivesNothing)
{
    SimulatedBus bus;
    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass()).empty());
    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(Guid::UsbDeviceInterfaceClass()).empty());
}

}  // namespace
