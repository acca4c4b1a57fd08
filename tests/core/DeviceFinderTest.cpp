#include "core/DeviceFinder.h"

#include "core/DfuDevice.h"
#include "core/SensorDevice.h"
#include "core/TpError.h"
#include "core/UsbHandler.h"

#include "tests/core/DiscoveryTestBus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using DeviceFinderTest = DiscoveryTest;

TEST_F(DeviceFinderTest, RegistersAndOpensOneSensorPerCall)
{
    const std::string first = PlugSensor("F1");
    PlugSensor("F2", 0x000D, 4);  // not a sensor collection
    const std::string second = PlugSensor("F3", 0x00FF, 9);

    std::string name;
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    EXPECT_EQ(name, first);
    EXPECT_EQ(registry->GetSensorDeviceMap().size(), 1u);
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    EXPECT_EQ(name, second);
    name.clear();
    EXPECT_FALSE(DeviceFinder::FindSensorHidDevice(name));
    EXPECT_EQ(name, "");

    const auto sensors = registry->GetSensorDeviceMap();
    ASSERT_EQ(sensors.size(), 2u);
    for (const auto& [path, sensor] : sensors) {
        EXPECT_TRUE(sensor->GetIsConnected()) << path;
        EXPECT_EQ(sensor->GetUsbDevicePath(), path);
    }
    EXPECT_EQ(sensors.at(first)->GetDeviceDescription(), "Tarnix Tarnix TS-200 F1");
}

TEST_F(DeviceFinderTest, SensorThatCannotBeOpenedStaysRegisteredAndIsNotOfferedAgain)
{
    SensorState prototype = Prototype("LOCKED");
    prototype.openFails = true;
    const std::string locked = Plug(prototype, SensorMode::Normal);

    std::string name;
    try {
        DeviceFinder::FindSensorHidDevice(name);
        FAIL() << "no exception";
    } catch (const TpError::Exception& error) {
        EXPECT_STREQ(error.what(), "Found device but could not retrieve device handle.");
    }
    ASSERT_TRUE(registry->SensorDeviceExists(locked));
    EXPECT_FALSE(registry->GetSensorDevice(locked)->GetIsConnected());

    const std::string good = PlugSensor("GOOD");
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    EXPECT_EQ(name, good);
    EXPECT_FALSE(DeviceFinder::FindSensorHidDevice(name));

    // It leaves the registry like any other device once unplugged.
    bus.Bus().Unplug("LOCKED");
    DeviceFinder::UpdateFoundDevices();
    EXPECT_FALSE(registry->SensorDeviceExists(locked));
    EXPECT_EQ(registry->GetRemovedSensorDeviceVector(), std::vector<std::string>{locked});
}

TEST_F(DeviceFinderTest, RegistersOneDfuDevicePerCallAndNeverOneWithTheWrongDriver)
{
    PlugDfu("WRONG", false);
    const std::string first = PlugDfu("D1");
    const std::string second = PlugDfu("D2");

    std::vector<std::string> newNames;
    bool incompatible = false;
    ASSERT_TRUE(DeviceFinder::FindDfuDevice(newNames, incompatible));
    EXPECT_TRUE(incompatible);
    EXPECT_EQ(newNames, std::vector<std::string>{first});
    ASSERT_TRUE(DeviceFinder::FindDfuDevice(newNames, incompatible));
    EXPECT_EQ(newNames, (std::vector<std::string>{first, second}));

    for (int call = 0; call < 2; ++call) {
        incompatible = false;
        EXPECT_FALSE(DeviceFinder::FindDfuDevice(newNames, incompatible));
        EXPECT_TRUE(incompatible);
    }
    EXPECT_EQ(newNames.size(), 2u);
    EXPECT_FALSE(registry->DfuDeviceExists(PathOf("WRONG")));
    EXPECT_EQ(registry->GetDfuDevice(first)->GetUsbDevicePath(), first);
}

TEST_F(DeviceFinderTest, VanishedDevicesAreRemovedAndPresentOnesKept)
{
    const std::string staying = PlugSensor("STAY");
    const std::string leaving = PlugSensor("LEAVE");
    const std::string dfuLeaving = PlugDfu("DLEAVE");
    std::string name;
    std::vector<std::string> newNames;
    bool incompatible = false;
    while (DeviceFinder::FindSensorHidDevice(name)) {
    }
    ASSERT_TRUE(DeviceFinder::FindDfuDevice(newNames, incompatible));
    SensorDevice* const leavingRecord = registry->GetSensorDevice(leaving);

    DeviceFinder::UpdateFoundDevices();
    EXPECT_TRUE(registry->GetRemovedSensorDeviceVector().empty());
    EXPECT_TRUE(registry->GetRemovedDfuDeviceVector().empty());

    bus.Bus().Unplug("LEAVE");
    bus.Bus().Unplug("DLEAVE");
    DeviceFinder::UpdateFoundDevices();
    EXPECT_EQ(registry->GetRemovedDfuDeviceVector(), std::vector<std::string>{dfuLeaving});
    EXPECT_EQ(registry->GetRemovedSensorDeviceVector(), std::vector<std::string>{leaving});
    EXPECT_TRUE(registry->GetDfuDeviceMap().empty());
    EXPECT_EQ(registry->GetSensorDeviceMap().size(), 1u);
    EXPECT_TRUE(registry->SensorDeviceExists(staying));
    EXPECT_EQ(leavingRecord->GetUsbDevicePath(), leaving);  // the record outlives its entry
}

TEST_F(DeviceFinderTest, SensorSwitchedToDfuModeMovesFromOneMapToTheOther)
{
    const std::string sensorName = PlugSensor("SW");
    std::string name;
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    SensorDevice* const sensor = registry->GetSensorDevice(sensorName);

    unsigned char switchReport[] = {0x80, 0x00};
    ASSERT_TRUE(UsbHandler::GetInstance()->SetFeatureReport(sensor, switchReport, sizeof switchReport));

    // One pass of the device search: the sensor is gone and the DFU device is new (no re-enumeration delay).
    std::vector<std::string> newNames;
    bool incompatible = false;
    ASSERT_TRUE(DeviceFinder::FindDfuDevice(newNames, incompatible));
    EXPECT_FALSE(DeviceFinder::FindSensorHidDevice(name));
    DeviceFinder::UpdateFoundDevices();

    EXPECT_EQ(newNames, std::vector<std::string>{PathOf("SW")});
    EXPECT_NE(newNames.front(), sensorName);
    EXPECT_EQ(registry->GetRemovedSensorDeviceVector(), std::vector<std::string>{sensorName});
    EXPECT_TRUE(registry->GetRemovedDfuDeviceVector().empty());
    EXPECT_TRUE(registry->DfuDeviceExists(newNames.front()));
}

}  // namespace
