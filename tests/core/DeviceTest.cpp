#include "core/DfuDevice.h"
#include "core/SensorDevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::string kSensorPath = "\\\\?\\hid#vid_3c9e&pid_0101#7&1a2b3c4d&0&0000#{sensor}";
const std::string kDfuPath = "\\\\?\\usb#vid_0483&pid_df11#355c37623039#{dfu}";

bool IsBlank(const DeviceInformation& information)
{
    const std::uint32_t numbers[] = {
        information.firmwareVersionMajor,   information.firmwareVersionMinor,   information.platformValue80,
        information.platformValue81,        information.platformValue82,        information.platformValue83,
        information.parametersVersionMajor, information.parametersVersionMinor, information.deviceValue80,
        information.deviceValue81,          information.deviceValue82,          information.deviceValue83};
    for (const std::uint32_t number : numbers) {
        if (number != 0) {
            return false;
        }
    }
    return (information.platformText86 + information.platformText87 + information.platformText8B +
            information.platformText8C + information.platformText8D + information.platformText8E +
            information.mcuIdentifier)
        .empty();
}

Parameters NestedParameters()
{
    Parameters parameters;
    parameters.geometry = Geometry{16, 12, 8};
    parameters.fingerFrequency = -7;
    parameters.deviceConfiguration.emplace();
    parameters.deviceConfiguration->subTouchActiveArea.emplace();
    parameters.deviceConfiguration->subTouchActiveArea->max = Vec2{4095, -3};
    parameters.deviceConfiguration->snappingFilter.emplace();
    parameters.deviceConfiguration->snappingFilter->left = SnappingDistance{5, 9};
    return parameters;
}

TEST(SensorDevice, AnswersItsPathOnlyThroughItsOwnType)
{
    SensorDevice sensor(kSensorPath);
    const Device& asDevice = sensor;
    EXPECT_EQ(sensor.GetUsbDevicePath(), kSensorPath);
    EXPECT_EQ(asDevice.GetUsbDevicePath(), "");
    EXPECT_EQ(sensor.GetDeviceSerialNumber(), "");
    EXPECT_EQ(sensor.GetDeviceDescription(), "");
    EXPECT_FALSE(sensor.GetIsConnected());
    EXPECT_EQ(sensor.GetHidDeviceHandle(), nullptr);
    EXPECT_TRUE(IsBlank(*sensor.GetDeviceInformation()));
    EXPECT_EQ(*sensor.GetParameters(), Parameters());
}

TEST(DfuDevice, AnswersItsPathThroughTheBaseAndStartsBlank)
{
    DfuDevice dfu(kDfuPath);
    EXPECT_EQ(dfu.GetUsbDevicePath(), kDfuPath);
    EXPECT_EQ(static_cast<const Device&>(dfu).GetUsbDevicePath(), kDfuPath);
    EXPECT_TRUE(IsBlank(*dfu.GetDeviceInformation()));
    EXPECT_FALSE(dfu.GetIsConnected());
    EXPECT_EQ(*dfu.GetDfuDeviceHandle(), nullptr);
    EXPECT_FALSE(dfu.GetParameters()->geometry.has_value());

    // The library's open call writes the handle through the returned address; a stored one reads back.
    int token = 0;
    *dfu.GetDfuDeviceHandle() = &token;
    EXPECT_EQ(*dfu.GetDfuDeviceHandle(), &token);
    void* reopened = nullptr;
    dfu.SetDfuDeviceHandle(&reopened);
    EXPECT_EQ(*dfu.GetDfuDeviceHandle(), nullptr);
}

// The handles a record closes, in order, through the closer an operation gives it.
struct ClosedHandles {
    std::vector<void*> handles;
    DfuDevice::HandleCloser Closer()
    {
        return [this](void* handle) { handles.push_back(handle); };
    }
};

// The handle of a DFU record is closed by whoever comes last: the departure, or the operation using it then.
TEST(DfuDevice, AHandleInUseWhenTheDeviceDepartsIsClosedByTheOperationThatEndsLast)
{
    DfuDevice dfu(kDfuPath);
    ClosedHandles closed;
    int token = 0;
    dfu.BeginUse(closed.Closer());
    dfu.BeginUse(closed.Closer());
    *dfu.GetDfuDeviceHandle() = &token;
    dfu.SetIsConnected(true);

    dfu.Depart();
    EXPECT_TRUE(closed.handles.empty()) << "closed while operations use it";
    EXPECT_EQ(*dfu.GetDfuDeviceHandle(), &token);
    dfu.EndUse();
    EXPECT_TRUE(closed.handles.empty()) << "closed while another operation uses it";
    dfu.EndUse();
    EXPECT_EQ(closed.handles, std::vector<void*>{&token});
    EXPECT_EQ(*dfu.GetDfuDeviceHandle(), nullptr);
    EXPECT_FALSE(dfu.GetIsConnected());
    dfu.Depart();
    EXPECT_EQ(closed.handles.size(), 1u) << "closed twice";
}

TEST(DfuDevice, AnIdleHandleIsClosedAtTheDepartureAndARegisteredOneStays)
{
    DfuDevice dfu(kDfuPath);
    ClosedHandles closed;
    int token = 0;
    dfu.BeginUse(closed.Closer());
    *dfu.GetDfuDeviceHandle() = &token;
    dfu.EndUse();
    EXPECT_TRUE(closed.handles.empty()) << "a registered device keeps its handle (a leave leaves it open)";
    EXPECT_EQ(*dfu.GetDfuDeviceHandle(), &token);

    dfu.Depart();
    EXPECT_EQ(closed.handles, std::vector<void*>{&token});
    EXPECT_EQ(*dfu.GetDfuDeviceHandle(), nullptr);

    // An operation through a pointer kept from before closes what it opened once it ends, with its own closer.
    ClosedHandles laterClosed;
    int reopened = 0;
    dfu.BeginUse(laterClosed.Closer());
    *dfu.GetDfuDeviceHandle() = &reopened;
    dfu.EndUse();
    EXPECT_EQ(laterClosed.handles, std::vector<void*>{&reopened});
    EXPECT_EQ(closed.handles.size(), 1u);
}

TEST(Device, KeepsItsParametersAfterTheGivenRecordIsGone)
{
    DfuDevice dfu(kDfuPath);
    auto given = std::make_unique<Parameters>(NestedParameters());
    dfu.SetParameters(*given);
    given->geometry->peakCount = 1;
    given.reset();

    const Parameters* stored = dfu.GetParameters();
    EXPECT_EQ(*stored, NestedParameters());
    EXPECT_EQ(stored->deviceConfiguration->snappingFilter->left->outer, 9);
    EXPECT_FALSE(stored->idleFrequency.has_value());

    // A record with fewer members replaces everything: what it lacks is absent afterwards.
    Parameters smaller;
    smaller.i2cAddress = 0x40;
    dfu.SetParameters(smaller);
    EXPECT_EQ(*dfu.GetParameters(), smaller);
    EXPECT_FALSE(dfu.GetParameters()->geometry.has_value());
}

TEST(Device, InformationIsReplacedWholeAndReadThroughOneAddress)
{
    SensorDevice sensor(kSensorPath);
    DeviceInformation* const first = sensor.GetDeviceInformation();
    EXPECT_EQ(first, sensor.GetDeviceInformation());

    DeviceInformation information;
    information.firmwareVersionMajor = 2;
    information.deviceValue83 = 77;
    information.mcuIdentifier = "001FA0";
    sensor.SetDeviceInformation(information);
    EXPECT_EQ(first->firmwareVersionMajor, 2u);
    EXPECT_EQ(first->deviceValue83, 77u);
    EXPECT_EQ(first->mcuIdentifier, "001FA0");

    sensor.SetDeviceInformation(DeviceInformation());
    EXPECT_TRUE(IsBlank(*first));
}

}  // namespace
