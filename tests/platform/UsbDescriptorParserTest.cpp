#include "platform/linux/UsbDescriptorParser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/DescriptorBytes.h"

namespace {

using tarnix::platform::DfuDescriptorSummary;
using tarnix::platform::UsbDescriptorParser;
using namespace tarnix::test::descriptors;

const Bytes kDeviceDescriptor = DeviceDescriptor(0x0483, 0xDF11, 0x2200);

std::optional<DfuDescriptorSummary> ParseDfu(const Bytes& blob)
{
    const Bytes exact(blob);
    return UsbDescriptorParser::ParseDfu(exact.data(), exact.size());
}

TEST(UsbDescriptorParser, DfuInterfaceOfTheSensorInDfuMode)
{
    const auto summary = ParseDfu(DfuModeDescriptors());
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->vendorId, 0x0483);
    EXPECT_EQ(summary->productId, 0xDF11);
    EXPECT_EQ(summary->bcdDevice, 0x2200);
    EXPECT_EQ(summary->interfaceNumber, 0);
    EXPECT_EQ(summary->interfaceString, 4);
    EXPECT_EQ(summary->transferSize, 2048);
}

TEST(UsbDescriptorParser, PicksAlternateSettingZeroOfTheDfuInterface)
{
    // A HID interface with its HID descriptor (also of type 0x21) comes first; then the DFU interface's
    // alternate settings 1 and 0, only the latter with its functional descriptor after it.
    const Bytes blob = Join({kDeviceDescriptor,
                             ConfigurationDescriptor(0),
                             InterfaceDescriptor(0, 0, 0x03, 0x00, 0),
                             {9, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, 0x40, 0x00},
                             InterfaceDescriptor(2, 1, 0xFE, 0x01, 5),
                             InterfaceDescriptor(2, 0, 0xFE, 0x01, 6),
                             {7, 0x05, 0x81, 0x03, 0x40, 0x00, 0x01},
                             DfuFunctionalDescriptor(1024)});
    const auto summary = ParseDfu(blob);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->interfaceNumber, 2);
    EXPECT_EQ(summary->interfaceString, 6);
    EXPECT_EQ(summary->transferSize, 1024);
}

TEST(UsbDescriptorParser, FunctionalDescriptorAfterTheLastAlternateSetting)
{
    // A DfuSe bootloader with a memory per alternate setting has its functional descriptor after the last one
    // (and tarnix-gadget carries it past FunctionFS on an alternate setting of class HID).
    for (const std::uint8_t lastClass : {std::uint8_t{0xFE}, std::uint8_t{0x03}}) {
        const auto summary =
            ParseDfu(Join({kDeviceDescriptor, ConfigurationDescriptor(0), InterfaceDescriptor(0, 0, 0xFE, 0x01, 4),
                           InterfaceDescriptor(0, 1, 0xFE, 0x01, 5), InterfaceDescriptor(0, 2, lastClass, 0x01, 6),
                           DfuFunctionalDescriptor(2048)}));
        ASSERT_TRUE(summary) << int(lastClass);
        EXPECT_EQ(summary->interfaceString, 4) << "the layout of alternate setting 0";
        EXPECT_EQ(summary->transferSize, 2048);
    }
}

TEST(UsbDescriptorParser, MissingFunctionalDescriptorIsNoDfuInterface)
{
    EXPECT_FALSE(
        ParseDfu(Join({kDeviceDescriptor, ConfigurationDescriptor(18), InterfaceDescriptor(0, 0, 0xFE, 0x01, 4)})));
    // The HID descriptor of an interface before the DFU one is not the DFU interface's.
    EXPECT_FALSE(ParseDfu(Join({kDeviceDescriptor, ConfigurationDescriptor(0), InterfaceDescriptor(0, 0, 0x03, 0x00, 0),
                                DfuFunctionalDescriptor(2048), InterfaceDescriptor(1, 0, 0xFE, 0x01, 4)})));
    // A functional descriptor after the next interface belongs to that one.
    EXPECT_FALSE(ParseDfu(Join({kDeviceDescriptor, ConfigurationDescriptor(0), InterfaceDescriptor(0, 0, 0xFE, 0x01, 4),
                                InterfaceDescriptor(1, 0, 0x08, 0x06, 0), DfuFunctionalDescriptor(2048)})));
    EXPECT_FALSE(ParseDfu(Join({kDeviceDescriptor, ConfigurationDescriptor(0), InterfaceDescriptor(0, 0, 0xFE, 0x02, 4),
                                DfuFunctionalDescriptor(2048)})))
        << "subclass 2 is no DFU";
    // The same interface number in the next configuration is another interface, its HID descriptor no
    // functional descriptor of the DFU interface.
    EXPECT_FALSE(ParseDfu(
        Join({kDeviceDescriptor, ConfigurationDescriptor(0), InterfaceDescriptor(0, 0, 0xFE, 0x01, 4),
              ConfigurationDescriptor(0), InterfaceDescriptor(0, 0, 0x03, 0x00, 0), DfuFunctionalDescriptor(2048)})));
}

TEST(UsbDescriptorParser, EveryTruncationIsRefused)
{
    const Bytes whole = DfuModeDescriptors();
    for (std::size_t length = 0; length < whole.size(); ++length) {
        EXPECT_FALSE(ParseDfu(Bytes(whole.begin(), whole.begin() + length))) << length << " bytes";
    }
}

TEST(UsbDescriptorParser, LengthsThatLie)
{
    // wTotalLength plays no part: the walk follows bLength inside the blob.
    EXPECT_TRUE(ParseDfu(Join({kDeviceDescriptor, ConfigurationDescriptor(0xFFFF),
                               InterfaceDescriptor(0, 0, 0xFE, 0x01, 4), DfuFunctionalDescriptor(2048)})));
    // bLength 0 or 1 would never move on; the walk stops.
    for (std::uint8_t length : {0, 1}) {
        Bytes blob = DfuModeDescriptors();
        blob[18] = length;
        EXPECT_FALSE(ParseDfu(blob)) << int(length);
    }
    // An interface descriptor claiming more bytes than the blob holds.
    Bytes blob = DfuModeDescriptors();
    blob[27] = 200;
    EXPECT_FALSE(ParseDfu(blob));
    // Descriptors too short for what they are: interface of 5 bytes, functional descriptor of 6.
    EXPECT_FALSE(ParseDfu(Join({kDeviceDescriptor, {5, 0x04, 0, 0, 0}, {9, 0x04, 0, 0, 0, 0xFE, 0x01, 0x02}})));
    EXPECT_FALSE(
        ParseDfu(Join({kDeviceDescriptor, InterfaceDescriptor(0, 0, 0xFE, 0x01, 4), {6, 0x21, 0x0B, 0xFF, 0, 0}})));
    // A device descriptor that is short or of another type.
    EXPECT_FALSE(ParseDfu(Join({Bytes(kDeviceDescriptor.begin(), kDeviceDescriptor.end() - 1)})));
    blob = DfuModeDescriptors();
    blob[1] = 0x02;
    EXPECT_FALSE(ParseDfu(blob));
}

TEST(UsbDescriptorParser, StringDescriptorIsBoundedByItsLengthAndTheBytesReceived)
{
    const Bytes layout{12, 0x03, '@', 0, 'I', 0, 0x3C, 0xD8, 0x89, 0xDF, '/', 0};
    auto text = UsbDescriptorParser::ParseString(layout.data(), layout.size());
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, u"@I\U0001F389/");
    text = UsbDescriptorParser::ParseString(layout.data(), 7);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, u"@I") << "two whole units received, the odd byte dropped";
    Bytes claimsMore = layout;
    claimsMore[0] = 255;
    EXPECT_EQ(UsbDescriptorParser::ParseString(claimsMore.data(), claimsMore.size()), text.value() + u"\U0001F389/");
    Bytes shorter = layout;
    shorter[0] = 5;
    EXPECT_EQ(UsbDescriptorParser::ParseString(shorter.data(), shorter.size()), u"@");
    EXPECT_EQ(UsbDescriptorParser::ParseString(layout.data(), 2), u"");
    EXPECT_FALSE(UsbDescriptorParser::ParseString(layout.data(), 1));
    Bytes wrongType = layout;
    wrongType[1] = 0x02;
    EXPECT_FALSE(UsbDescriptorParser::ParseString(wrongType.data(), wrongType.size()));
    wrongType[0] = 1;
    wrongType[1] = 0x03;
    EXPECT_FALSE(UsbDescriptorParser::ParseString(wrongType.data(), wrongType.size()));
}

}  // namespace
