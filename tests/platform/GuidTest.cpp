#include "io/Guid.h"

#include <gtest/gtest.h>

using tarnix::io::Guid;

TEST(Guid, ParsesAndPrintsTheDeviceManagerForm)
{
    const auto parsed = Guid::Parse("{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Data1(), 0xA5DCBF10u);
    EXPECT_EQ(parsed->Data2(), 0x6530);
    EXPECT_EQ(parsed->Data3(), 0x11D2);
    EXPECT_EQ(parsed->Data4()[0], 0x90);
    EXPECT_EQ(parsed->Data4()[7], 0xED);
    EXPECT_EQ(parsed->ToString(), "{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
    EXPECT_EQ(Guid::Parse("36FC9E60-C465-11CF-8056-444553540000")->ToString(),
              "{36FC9E60-C465-11CF-8056-444553540000}");
}

TEST(Guid, KnownInterfaceClasses)
{
    EXPECT_EQ(Guid::UsbDeviceInterfaceClass().ToString(), "{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
    EXPECT_EQ(Guid::HidInterfaceClass().ToString(), "{4D1E55B2-F16F-11CF-88CB-001111000030}");
    EXPECT_NE(Guid::HidInterfaceClass(), Guid::UsbDeviceInterfaceClass());
    EXPECT_EQ(Guid::UsbDeviceInterfaceClass(), *Guid::Parse("{A5DCBF10-6530-11D2-901F-00C04FB951ED}"));
    EXPECT_EQ(Guid(), *Guid::Parse("{00000000-0000-0000-0000-000000000000}"));
}

TEST(Guid, RefusesEverythingElse)
{
    for (const char* text : {"", "{}", "A5DCBF10-6530-11D2-901F-00C04FB951E",  // one digit short
                             "{A5DCBF10-6530-11D2-901F-00C04FB951ED",          // no closing brace
                             "A5DCBF10-6530-11D2-901F-00C04FB951ED}",
                             "A5DCBF1006530-11D2-901F-00C04FB951ED",  // dash missing
                             "A5DCBF10-6530-11D2-901F-00C04FB951EG",  // not hexadecimal
                             "(A5DCBF10-6530-11D2-901F-00C04FB951ED)", "A5DCBF10-6530-11D2-901F-00C04FB951ED0"}) {
        EXPECT_FALSE(Guid::Parse(text)) << text;
    }
}
