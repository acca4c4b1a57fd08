#include "core/UsbHandler.h"

#include "core/SensorDevice.h"
#include "core/TpError.h"

#include "io/HidDevice.h"
#include "tests/core/DiscoveryTestBus.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using tarnix::io::HidCapabilities;

class UsbHandlerTest : public DiscoveryTest {
protected:
    // Every acceptable sensor name that FindSensorDevicePath offers, registering each so the next call
    // moves on.
    std::set<std::string> AcceptedSensorNames()
    {
        std::set<std::string> names;
        std::string name;
        while (usb->FindSensorDevicePath(name)) {
            if (!names.insert(name).second) {
                ADD_FAILURE() << "offered twice: " << name;
                break;
            }
            registry->CreateNewSensorDevice(name);
        }
        return names;
    }

    UsbHandler* const usb = UsbHandler::GetInstance();
};

bool Accepts(std::uint16_t usagePage, std::uint16_t usage)
{
    HidCapabilities capabilities;
    capabilities.usagePage = usagePage;
    capabilities.usage = usage;
    return UsbHandler::GetInstance()->IsAcceptedCollection(capabilities);
}

TEST(UsbHandlerRules, UsageOrUsagePageDecides)
{
    EXPECT_TRUE(Accepts(0xFF00, 1));
    EXPECT_TRUE(Accepts(0xFF00, 0));
    EXPECT_TRUE(Accepts(0x00FF, 0x37));
    EXPECT_TRUE(Accepts(0, 0));
    EXPECT_FALSE(Accepts(0x000D, 4));
    EXPECT_FALSE(Accepts(0xFF00, 2));
    // The page entry -256 would equal 0xFF00 only if the 16-bit page were widened with a sign.
    EXPECT_FALSE(Accepts(0xFF00, 0xFFFF));
    EXPECT_FALSE(Accepts(0xFFFF, 0xFF00));
}

TEST_F(UsbHandlerTest, UsageMatrixOnTheBus)
{
    const std::string vendorCollection = PlugSensor("S1", 0xFF00, 1);
    PlugSensor("S2", 0x000D, 4);
    const std::string pageFF = PlugSensor("S3", 0x00FF, 0x42);
    PlugSensor("S4", 0xFF00, 2);
    EXPECT_EQ(AcceptedSensorNames(), (std::set<std::string>{vendorCollection, pageFF}));
}

TEST_F(UsbHandlerTest, OffersTheFirstUnregisteredSensorAndLeavesNameAloneOtherwise)
{
    const std::string first = PlugSensor("A1");
    const std::string second = PlugSensor("A2");
    std::string name = "untouched";
    ASSERT_TRUE(usb->FindSensorDevicePath(name));
    EXPECT_EQ(name, first);
    ASSERT_TRUE(usb->FindSensorDevicePath(name));  // not registered yet: offered again
    EXPECT_EQ(name, first);

    registry->CreateNewSensorDevice(first);
    ASSERT_TRUE(usb->FindSensorDevicePath(name));
    EXPECT_EQ(name, second);

    registry->CreateNewSensorDevice(second);
    name = "untouched";
    EXPECT_FALSE(usb->FindSensorDevicePath(name));
    EXPECT_EQ(name, "untouched");
}

TEST_F(UsbHandlerTest, SensorNeedsItsIdentifiersInTheHardwareId)
{
    SensorState other = Prototype("OTHER");
    other.hidHardwareId = "HID\\VID_3C9E&PID_0102&REV_0100";
    Plug(other, SensorMode::Normal);
    SensorState lowerCase = Prototype("LOWER");
    lowerCase.hidHardwareId = "HID\\vid_3c9e&pid_0101&REV_0100";
    Plug(lowerCase, SensorMode::Normal);
    PlugDfu("DFU");  // a DFU device is no sensor

    EXPECT_TRUE(AcceptedSensorNames().empty());
}

TEST_F(UsbHandlerTest, DfuPatternIsCaseSensitive)
{
    SensorState lowerCase = Prototype("LOWER");
    lowerCase.dfuHardwareId = "USB\\vid_0483&pid_df11&REV_2200";
    Plug(lowerCase, SensorMode::Dfu);

    std::string name;
    bool incompatible = true;
    EXPECT_FALSE(usb->FindDfuDevicePath(name, incompatible));
    EXPECT_FALSE(incompatible);
    EXPECT_EQ(name, "");
}

TEST_F(UsbHandlerTest, WrongDriverIsFlaggedOnEveryCallAndACompatibleDeviceStillFound)
{
    PlugDfu("WRONG", false);
    std::string name;
    bool incompatible = false;
    for (int call = 0; call < 3; ++call) {
        incompatible = false;
        EXPECT_FALSE(usb->FindDfuDevicePath(name, incompatible));
        EXPECT_TRUE(incompatible);
    }
    EXPECT_EQ(name, "");

    const std::string right = PlugDfu("RIGHT");
    ASSERT_TRUE(usb->FindDfuDevicePath(name, incompatible));
    EXPECT_EQ(name, right);
    EXPECT_TRUE(incompatible);

    registry->CreateNewDfuDevice(right);
    EXPECT_FALSE(usb->FindDfuDevicePath(name, incompatible));
    EXPECT_TRUE(incompatible);

    bus.Bus().FixDrivers();
    EXPECT_TRUE(usb->FindDfuDevicePath(name, incompatible));
    EXPECT_FALSE(incompatible);
    EXPECT_EQ(name, PathOf("WRONG"));
}

TEST_F(UsbHandlerTest, PresentDfuDevicesAreListedRegisteredOrNotWhateverTheirDriver)
{
    PlugSensor("NORMAL");
    const std::string wrong = PlugDfu("WRONG", false);
    const std::string registered = PlugDfu("KNOWN");
    const std::string unregistered = PlugDfu("UNKNOWN");
    SensorState foreign = Prototype("FOREIGN");
    foreign.dfuHardwareId = "USB\\VID_1234&PID_5678";
    Plug(foreign, SensorMode::Dfu);
    registry->CreateNewDfuDevice(registered);

    EXPECT_EQ(usb->GetPresentDfuDevicePaths(), (std::set<std::string>{wrong, registered, unregistered}));
    bus.Bus().Unplug("KNOWN");
    EXPECT_EQ(usb->GetPresentDfuDevicePaths(), (std::set<std::string>{wrong, unregistered}));
}

TEST_F(UsbHandlerTest, FindsAPathOnlyInItsOwnClassAndOnlyWhole)
{
    const std::string sensor = PlugSensor("P1");
    const std::string dfu = PlugDfu("P2");
    EXPECT_TRUE(usb->FindDeviceFromPath(sensor, false));
    EXPECT_TRUE(usb->FindDeviceFromPath(dfu, true));
    EXPECT_FALSE(usb->FindDeviceFromPath(sensor, true));
    EXPECT_FALSE(usb->FindDeviceFromPath(dfu, false));
    EXPECT_FALSE(usb->FindDeviceFromPath(sensor.substr(0, sensor.size() - 1), false));
    EXPECT_FALSE(usb->FindDeviceFromPath(sensor + " ", false));

    bus.Bus().Unplug("P1");
    EXPECT_FALSE(usb->FindDeviceFromPath(sensor, false));
    EXPECT_TRUE(usb->FindDeviceFromPath(dfu, true));
}

TEST_F(UsbHandlerTest, OpenedSensorIsConnectedAndDescribedByItsThreeStrings)
{
    SensorState prototype = Prototype("123");
    prototype.manufacturer = "M";
    prototype.product = "P";
    SensorDevice sensor(Plug(prototype, SensorMode::Normal));

    EXPECT_TRUE(usb->GetSensorDeviceHandle(&sensor));
    EXPECT_TRUE(sensor.GetIsConnected());
    EXPECT_NE(sensor.GetHidDeviceHandle(), nullptr);
    EXPECT_EQ(sensor.GetDeviceDescription(), "M P 123");
}

TEST_F(UsbHandlerTest, DescriptionStaysEmptyWhenOneStringCannotBeRead)
{
    SensorState prototype = Prototype("NOSERIAL");
    prototype.serialStringFails = true;
    SensorDevice sensor(Plug(prototype, SensorMode::Normal));

    EXPECT_FALSE(usb->GetSensorDeviceHandle(&sensor));
    EXPECT_TRUE(sensor.GetIsConnected());
    EXPECT_EQ(sensor.GetDeviceDescription(), "");
}

TEST_F(UsbHandlerTest, SensorWhoseCapabilitiesCannotBeReadCountsAsUsageZeroAndIsAccepted)
{
    SensorState prototype = Prototype("NOCAPS");
    prototype.capabilitiesUnreadable = true;
    prototype.usagePage = 0x000D;  // would be refused if it were read
    prototype.usage = 4;
    const std::string unreadable = Plug(prototype, SensorMode::Normal);
    PlugSensor("TOUCH", 0x000D, 4);
    EXPECT_EQ(AcceptedSensorNames(), (std::set<std::string>{unreadable}));
}

TEST_F(UsbHandlerTest, SensorThatRefusesTheOpenThrowsAndStaysUnconnected)
{
    SensorState prototype = Prototype("LOCKED");
    prototype.openFails = true;
    SensorDevice sensor(Plug(prototype, SensorMode::Normal));
    SensorDevice absent("\\\\?\\hid#nothing");

    for (SensorDevice* target : {&sensor, &absent, static_cast<SensorDevice*>(nullptr)}) {
        try {
            usb->GetSensorDeviceHandle(target);
            ADD_FAILURE() << "no exception";
        } catch (const TpError::FailedToGetDeviceHandle& error) {
            EXPECT_STREQ(error.what(), "Found device but could not retrieve device handle.");
        }
    }
    EXPECT_FALSE(sensor.GetIsConnected());
    EXPECT_EQ(sensor.GetHidDeviceHandle(), nullptr);
    EXPECT_EQ(sensor.GetDeviceDescription(), "");
}

TEST_F(UsbHandlerTest, FeatureReportsTravelThroughTheOpenHandle)
{
    SensorDevice sensor(PlugSensor("FR"));
    std::vector<unsigned char> request(257, 0);
    const unsigned char platformRequest[] = {0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x00};
    std::copy(std::begin(platformRequest), std::end(platformRequest), request.begin());
    std::vector<unsigned char> answer(258, 0);
    answer[0] = 0x02;

    // Without an open handle nothing is sent.
    EXPECT_FALSE(usb->SetFeatureReport(&sensor, request.data(), 257));
    EXPECT_FALSE(usb->GetFeatureReport(&sensor, answer.data(), 258));
    EXPECT_FALSE(usb->SetFeatureReport(nullptr, request.data(), 257));

    usb->GetSensorDeviceHandle(&sensor);
    ASSERT_TRUE(usb->SetFeatureReport(&sensor, request.data(), 257));
    ASSERT_TRUE(usb->GetFeatureReport(&sensor, answer.data(), 258));
    EXPECT_EQ(answer[0], 0x02);
    EXPECT_GT(answer[1], 2);
    EXPECT_EQ(answer[2], 0xEF);  // the information envelope
    EXPECT_FALSE(usb->GetFeatureReport(&sensor, nullptr, 258));

    bus.Bus().Unplug("FR");
    EXPECT_FALSE(usb->SetFeatureReport(&sensor, request.data(), 257));
    EXPECT_FALSE(usb->GetFeatureReport(&sensor, answer.data(), 258));
}

}  // namespace
