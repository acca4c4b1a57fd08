#include "platform/BackendFactories.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "io/DeviceEnumerator.h"
#include "tests/support/SimulatedBus.h"

namespace {

using tarnix::io::Guid;
using tarnix::io::HidDevice;
using tarnix::platform::ActiveDeviceEnumerator;
using tarnix::platform::OpenHidDevice;
using tarnix::sim::SensorState;
using tarnix::test::SimulatedBus;

TEST(HidDevice, CapabilitiesAndStringsOfTheSensorInterface)
{
    SimulatedBus bus;
    SensorState prototype = SimulatedBus::QuickSensor();
    prototype.serial = "123";
    prototype.manufacturer = "M";
    prototype.product = "P";
    const std::string path = bus.PlugHidSensor(prototype);
    auto probe = OpenHidDevice(path, HidDevice::Access::Probe);
    ASSERT_TRUE(probe);
    const auto capabilities = probe->Capabilities();
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usagePage, 0xFF00);
    EXPECT_EQ(capabilities->usage, 1);
    EXPECT_EQ(capabilities->featureReportLength, 258);
    EXPECT_EQ(probe->ManufacturerString(), "M");
    EXPECT_EQ(probe->ProductString(), "P");
    EXPECT_EQ(probe->SerialNumberString(), "123");
}

TEST(HidDevice, UsageIsConfigurablePerSensor)
{
    SimulatedBus bus;
    SensorState prototype = SimulatedBus::QuickSensor();
    prototype.usagePage = 0x000D;
    prototype.usage = 0x04;
    auto device = OpenHidDevice(bus.PlugHidSensor(prototype), HidDevice::Access::Probe);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Capabilities()->usagePage, 0x000D);
    EXPECT_EQ(device->Capabilities()->usage, 0x04);
}

TEST(HidDevice, OpenFailsForUnknownPathsAndRefusingSensors)
{
    SimulatedBus bus;
    EXPECT_FALSE(OpenHidDevice("\\\\?\\hid#nothing", HidDevice::Access::Probe));
    SensorState prototype = SimulatedBus::QuickSensor();
    prototype.openFails = true;
    const std::string path = bus.PlugHidSensor(prototype);
    EXPECT_FALSE(OpenHidDevice(path, HidDevice::Access::ReadWrite));
    EXPECT_TRUE(OpenHidDevice(path, HidDevice::Access::Probe));
}

TEST(HidDevice, FeatureReportsCarryTheInformationExchange)
{
    SimulatedBus bus;
    auto device = OpenHidDevice(bus.PlugHidSensor(SimulatedBus::QuickSensor()), HidDevice::Access::ReadWrite);
    ASSERT_TRUE(device);
    std::array<std::uint8_t, 257> request{0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x02, 0x00, 0x6C, 0x00};
    ASSERT_TRUE(device->SetFeature(request.data(), request.size()));
    std::array<std::uint8_t, 258> answer{0x02, 0xFF};
    ASSERT_TRUE(device->GetFeature(answer.data(), answer.size()));
    EXPECT_EQ(answer[0], 0x02);
    EXPECT_EQ(answer[2], 0xEF);
    EXPECT_EQ(answer[1], answer[3] + 2) << "count = the whole BER answer";
    EXPECT_EQ(answer[10], 0xA1) << "device information block";

    std::array<std::uint8_t, 258> wrongId{0x05};
    EXPECT_FALSE(device->GetFeature(wrongId.data(), wrongId.size()));
    std::array<std::uint8_t, 300> tooLong{0x01};
    EXPECT_FALSE(device->SetFeature(tooLong.data(), tooLong.size()));
}

// As on the real bus: each collection of the sensor is an interface of its own, with its own capabilities and
// feature reports, and a report shorter than asked for is followed by zeros.
TEST(HidDevice, EachCollectionIsAnInterfaceOfItsOwn)
{
    SimulatedBus bus;
    SensorState prototype = SimulatedBus::QuickSensor();
    prototype.collections = {tarnix::sim::SensorCollection{false, 0x000D, 0x0004, 0},
                             tarnix::sim::SensorCollection{true, 0, 0, 127}};
    bus.Plug(tarnix::sim::SensorMode::Normal, prototype);
    const auto interfaces = ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass());
    ASSERT_EQ(interfaces.size(), 2u);
    EXPECT_NE(interfaces[0].devicePath, interfaces[1].devicePath);

    auto digitizer = OpenHidDevice(interfaces[0].devicePath, HidDevice::Access::ReadWrite);
    auto configuration = OpenHidDevice(interfaces[1].devicePath, HidDevice::Access::ReadWrite);
    ASSERT_TRUE(digitizer);
    ASSERT_TRUE(configuration);
    ASSERT_TRUE(digitizer->Capabilities());
    EXPECT_EQ(digitizer->Capabilities()->usagePage, 0x000D);
    EXPECT_EQ(digitizer->Capabilities()->usage, 0x0004);
    EXPECT_EQ(digitizer->Capabilities()->featureReportLength, 0);
    ASSERT_TRUE(configuration->Capabilities());
    EXPECT_EQ(configuration->Capabilities()->usagePage, 0xFF00);
    EXPECT_EQ(configuration->Capabilities()->featureReportLength, 128);

    std::array<std::uint8_t, 257> request{0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x00};
    EXPECT_FALSE(digitizer->SetFeature(request.data(), request.size())) << "the request is not the digitizer's";
    ASSERT_TRUE(configuration->SetFeature(request.data(), request.size()));
    std::array<std::uint8_t, 258> answer;
    answer.fill(0xAA);
    answer[0] = 0x02;
    EXPECT_FALSE(digitizer->GetFeature(answer.data(), answer.size()));
    ASSERT_TRUE(configuration->GetFeature(answer.data(), answer.size()));
    EXPECT_EQ(answer[2], 0xEF) << "the platform answer fits the sensor's shorter report";
    EXPECT_EQ(std::count(answer.begin() + 128, answer.end(), 0), 130) << "zeros after the 128-byte report";
    const std::uint8_t toDfu[] = {0x80, 0x00};
    EXPECT_FALSE(digitizer->SetFeature(toDfu, sizeof toDfu));
    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass()).size() == 2u)
        << "still in normal mode";
}

TEST(HidDevice, DeviceThatLeftMakesEveryCallFail)
{
    SimulatedBus bus;
    auto device = OpenHidDevice(bus.PlugHidSensor(SimulatedBus::QuickSensor()), HidDevice::Access::ReadWrite);
    ASSERT_TRUE(device);
    const std::uint8_t toDfu[] = {0x80, 0x00};
    ASSERT_TRUE(device->SetFeature(toDfu, sizeof toDfu));
    EXPECT_FALSE(device->Capabilities());
    EXPECT_FALSE(device->ManufacturerString());
    EXPECT_FALSE(device->SerialNumberString());
    std::array<std::uint8_t, 258> answer{0x02};
    EXPECT_FALSE(device->GetFeature(answer.data(), answer.size()));
    EXPECT_FALSE(device->SetFeature(toDfu, sizeof toDfu));
    EXPECT_TRUE(ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass()).empty());
}

}  // namespace
