#include "core/DeviceHandler.h"
#include "core/DfuDevice.h"
#include "core/SensorDevice.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// The registry is process-wide; every test starts from empty name maps and lists.
class DeviceHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry->ClearDeviceMaps();
        registry->ClearRemovedDeviceVectors();
    }

    DeviceHandler* const registry = DeviceHandler::GetInstance();
};

TEST_F(DeviceHandlerTest, IsOneInstanceForTheProcess)
{
    EXPECT_EQ(registry, DeviceHandler::GetInstance());
    DeviceHandler* fromOtherThread = nullptr;
    std::thread([&fromOtherThread] { fromOtherThread = DeviceHandler::GetInstance(); }).join();
    EXPECT_EQ(registry, fromOtherThread);
}

TEST_F(DeviceHandlerTest, MissReportsOneLineAndAnswersNull)
{
    registry->CreateNewSensorDevice("present");
    CaptureStderr();
    EXPECT_EQ(registry->GetSensorDevice("absent"), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "Out of Range error: map::at\n");

    CaptureStderr();
    EXPECT_EQ(registry->GetDfuDevice("present"), nullptr);  // a sensor's name is no DFU device
    EXPECT_EQ(GetCapturedStderr(), "Out of Range error: map::at\n");

    const auto sensors = registry->GetSensorDeviceMap();
    ASSERT_EQ(sensors.size(), 1u);
    EXPECT_EQ(sensors.begin()->first, "present");
    EXPECT_TRUE(registry->GetDfuDeviceMap().empty());
}

TEST_F(DeviceHandlerTest, CreatingAKnownNameKeepsTheFirstRecord)
{
    registry->CreateNewSensorDevice("s");
    SensorDevice* const first = registry->GetSensorDevice("s");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetUsbDevicePath(), "s");
    first->SetDeviceDescription("kept");

    registry->CreateNewSensorDevice("s");
    EXPECT_EQ(registry->GetSensorDevice("s"), first);
    EXPECT_EQ(registry->GetSensorDeviceMap().size(), 1u);
    EXPECT_EQ(first->GetDeviceDescription(), "kept");

    registry->CreateNewDfuDevice("s");  // the two maps are independent
    DfuDevice* const dfu = registry->GetDfuDevice("s");
    ASSERT_NE(dfu, nullptr);
    EXPECT_NE(static_cast<Device*>(dfu), static_cast<Device*>(first));
    EXPECT_EQ(dfu->GetUsbDevicePath(), "s");
    EXPECT_TRUE(registry->SensorDeviceExists("s"));
    EXPECT_TRUE(registry->DfuDeviceExists("s"));
}

TEST_F(DeviceHandlerTest, DeletedDfuDeviceLeavesItsNameAndAUsableRecord)
{
    registry->CreateNewDfuDevice("d1");
    registry->CreateNewDfuDevice("d2");
    DfuDevice* const dfu = registry->GetDfuDevice("d1");
    const auto before = registry->GetDfuDeviceMap();

    registry->DeleteDfuDevice(dfu);
    EXPECT_FALSE(registry->DfuDeviceExists("d1"));
    EXPECT_TRUE(registry->DfuDeviceExists("d2"));
    EXPECT_EQ(registry->GetRemovedDfuDeviceVector(), std::vector<std::string>{"d1"});
    EXPECT_TRUE(registry->GetRemovedSensorDeviceVector().empty());
    EXPECT_EQ(dfu->GetUsbDevicePath(), "d1");

    // The copy taken before still lists the removed name with its live record.
    ASSERT_EQ(before.count("d1"), 1u);
    EXPECT_EQ(before.at("d1"), dfu);
    before.at("d1")->SetIsConnected(true);
    EXPECT_TRUE(dfu->GetIsConnected());
}

TEST_F(DeviceHandlerTest, RemovedNamesKeepTheirOrderUntilCleared)
{
    for (const char* name : {"b", "a", "c"}) {
        registry->CreateNewSensorDevice(name);
    }
    registry->DeleteSensorDevice(registry->GetSensorDevice("c"));
    registry->DeleteSensorDevice(registry->GetSensorDevice("a"));
    EXPECT_EQ(registry->GetRemovedSensorDeviceVector(), (std::vector<std::string>{"c", "a"}));
    EXPECT_EQ(registry->GetSensorDeviceMap().size(), 1u);

    registry->ClearRemovedDeviceVectors();
    EXPECT_TRUE(registry->GetRemovedSensorDeviceVector().empty());
    EXPECT_TRUE(registry->GetRemovedDfuDeviceVector().empty());
}

TEST_F(DeviceHandlerTest, ClearingTheMapsKeepsRemovedNamesAndRecords)
{
    registry->CreateNewSensorDevice("s");
    registry->CreateNewDfuDevice("d");
    SensorDevice* const sensor = registry->GetSensorDevice("s");
    registry->DeleteDfuDevice(registry->GetDfuDevice("d"));

    registry->ClearDeviceMaps();
    EXPECT_TRUE(registry->GetSensorDeviceMap().empty());
    EXPECT_TRUE(registry->GetDfuDeviceMap().empty());
    EXPECT_EQ(registry->GetRemovedDfuDeviceVector(), std::vector<std::string>{"d"});
    EXPECT_EQ(sensor->GetUsbDevicePath(), "s");

    // The name comes back with a new record; the old one stays readable.
    registry->CreateNewSensorDevice("s");
    EXPECT_NE(registry->GetSensorDevice("s"), sensor);
    EXPECT_EQ(sensor->GetUsbDevicePath(), "s");
}

TEST_F(DeviceHandlerTest, StaleRecordDoesNotRemoveItsSuccessor)
{
    registry->CreateNewSensorDevice("s");
    SensorDevice* const old = registry->GetSensorDevice("s");
    registry->DeleteSensorDevice(old);
    registry->CreateNewSensorDevice("s");
    SensorDevice* const current = registry->GetSensorDevice("s");

    registry->DeleteSensorDevice(old);
    registry->DeleteSensorDevice(nullptr);
    registry->DeleteDfuDevice(nullptr);
    EXPECT_TRUE(registry->SensorDeviceExists("s"));
    EXPECT_EQ(registry->GetSensorDevice("s"), current);
    EXPECT_EQ(registry->GetRemovedSensorDeviceVector(), std::vector<std::string>{"s"});
}

TEST_F(DeviceHandlerTest, ConcurrentCallersLoseNothing)
{
    constexpr int kThreads = 4;
    constexpr int kNamesPerThread = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kNamesPerThread; ++i) {
                const std::string name = std::to_string(t) + "-" + std::to_string(i);
                registry->CreateNewSensorDevice(name);
                registry->CreateNewDfuDevice(name);
                registry->GetSensorDeviceMap();
                if (i % 3 == 0) {
                    registry->DeleteDfuDevice(registry->GetDfuDevice(name));
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto sensors = registry->GetSensorDeviceMap();
    ASSERT_EQ(sensors.size(), static_cast<std::size_t>(kThreads * kNamesPerThread));
    for (const auto& entry : sensors) {
        ASSERT_EQ(entry.second->GetUsbDevicePath(), entry.first);
    }
    EXPECT_EQ(registry->GetDfuDeviceMap().size(), static_cast<std::size_t>(kThreads * kNamesPerThread * 2 / 3));
    EXPECT_EQ(registry->GetRemovedDfuDeviceVector().size(), static_cast<std::size_t>(kThreads * kNamesPerThread / 3));
}

}  // namespace
