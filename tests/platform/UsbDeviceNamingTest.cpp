#include "platform/linux/UsbDeviceNaming.h"

#include <gtest/gtest.h>

namespace {

using tarnix::io::Guid;
using tarnix::platform::UsbDeviceNaming;

TEST(UsbDeviceNaming, HardwareIdFromSysfsIdentifiers)
{
    EXPECT_EQ(UsbDeviceNaming::HardwareId("HID", "3c9e", "0101", "0100"), "HID\\VID_3C9E&PID_0101&REV_0100");
    EXPECT_EQ(UsbDeviceNaming::HardwareId("USB", "0483\n", "df11\n", "2200\n"), "USB\\VID_0483&PID_DF11&REV_2200")
        << "upper-case hex, the kernel's newline dropped";
    EXPECT_EQ(UsbDeviceNaming::HardwareId("USB", "1d6b", "2", "601"), "USB\\VID_1D6B&PID_0002&REV_0601");
}

TEST(UsbDeviceNaming, UnreadableIdentifierGivesAnEmptyHardwareId)
{
    EXPECT_EQ(UsbDeviceNaming::HardwareId("USB", std::nullopt, "df11", "2200"), "");
    EXPECT_EQ(UsbDeviceNaming::HardwareId("USB", "0483", "df11", std::nullopt), "");
    for (const char* bad : {"", "\n", "1234 5", "12345", "0x12", "-1", "+1", "g0"}) {
        EXPECT_EQ(UsbDeviceNaming::HardwareId("USB", "0483", bad, "2200"), "") << '"' << bad << '"';
    }
}

TEST(UsbDeviceNaming, HidDeviceNameRoundTrip)
{
    const std::string name = UsbDeviceNaming::HidDeviceName("/dev/hidraw0", "0003:3C9E:0101.000A");
    EXPECT_EQ(name, "/dev/hidraw0#0003:3C9E:0101.000A");
    const auto parts = UsbDeviceNaming::SplitHidDeviceName(name);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->node, "/dev/hidraw0");
    EXPECT_EQ(parts->hidSysname, "0003:3C9E:0101.000A");
    EXPECT_EQ(parts->collection, 0u);
    for (const char* other :
         {"/dev/hidraw0", "#0003:3C9E:0101.000A", "/dev/hidraw0#", "/dev/a#b#c", "", "/dev/bus/usb/001/005"}) {
        EXPECT_FALSE(UsbDeviceNaming::SplitHidDeviceName(other)) << other;
    }
}

TEST(UsbDeviceNaming, EachCollectionOfANodeWithSeveralHasANameOfItsOwn)
{
    const std::string second = UsbDeviceNaming::HidDeviceName("/dev/hidraw3", "0003:3C9E:0101.000B", 2);
    EXPECT_EQ(second, "/dev/hidraw3#0003:3C9E:0101.000B&col02");
    const auto parts = UsbDeviceNaming::SplitHidDeviceName(second);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->node, "/dev/hidraw3");
    EXPECT_EQ(parts->hidSysname, "0003:3C9E:0101.000B");
    EXPECT_EQ(parts->collection, 2u);
    EXPECT_EQ(UsbDeviceNaming::SplitHidDeviceName("/dev/hidraw3#0003:3C9E:0101.000B&col32")->collection, 32u);
    for (const char* other :
         {"/dev/hidraw3#0003:3C9E:0101.000B&col00", "/dev/hidraw3#0003:3C9E:0101.000B&col2",
          "/dev/hidraw3#0003:3C9E:0101.000B&col002", "/dev/hidraw3#0003:3C9E:0101.000B&col",
          "/dev/hidraw3#0003:3C9E:0101.000B&col+2", "/dev/hidraw3#0003:3C9E:0101.000B&col0x", "/dev/hidraw3#&col01"}) {
        EXPECT_FALSE(UsbDeviceNaming::SplitHidDeviceName(other)) << other;
    }
}

TEST(UsbDeviceNaming, SetupClassFollowsTheDriverProperty)
{
    EXPECT_EQ(UsbDeviceNaming::UsbDeviceSetupClass("1").ToString(), "{36FC9E60-C465-11CF-8056-444553540000}");
    for (const auto& other : {std::optional<std::string>(), std::optional<std::string>("0"),
                              std::optional<std::string>(""), std::optional<std::string>("1 ")}) {
        EXPECT_EQ(UsbDeviceNaming::UsbDeviceSetupClass(other), Guid()) << other.value_or("(unset)");
    }
    EXPECT_EQ(UsbDeviceNaming::HidSetupClass().ToString(), "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}");
}

}  // namespace
