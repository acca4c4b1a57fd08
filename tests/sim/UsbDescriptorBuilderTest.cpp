#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sim/sensor/UsbDescriptorBuilder.h"
#include "tests/support/HidReportLayout.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t Le16(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes.at(at) | (bytes.at(at + 1) << 8));
}

// The text of a string descriptor (UTF-16LE units, as numbers).
std::vector<std::uint16_t> Units(const Bytes& descriptor)
{
    std::vector<std::uint16_t> units;
    for (std::size_t at = 2; at + 1 < descriptor.size(); at += 2) {
        units.push_back(Le16(descriptor, at));
    }
    return units;
}

TEST(UsbDescriptorBuilder, StringsAreUtf16WithTheirLength)
{
    const Bytes ascii = UsbDescriptorBuilder::String("TS-200");
    EXPECT_EQ(ascii.size(), 2u + 2 * 6);
    EXPECT_EQ(ascii[0], ascii.size());
    EXPECT_EQ(ascii[1], 0x03);
    EXPECT_EQ(Units(ascii), (std::vector<std::uint16_t>{'T', 'S', '-', '2', '0', '0'}));
    EXPECT_EQ(Units(UsbDescriptorBuilder::String("\xC3\x84r\xE2\x82\xAC")),
              (std::vector<std::uint16_t>{0xC4, 'r', 0x20AC}));
    EXPECT_EQ(Units(UsbDescriptorBuilder::String("\xF0\x9F\x98\x80")), (std::vector<std::uint16_t>{0xD83D, 0xDE00}));
    EXPECT_EQ(UsbDescriptorBuilder::LanguageList(), (Bytes{4, 0x03, 0x09, 0x04}));
}

TEST(UsbDescriptorBuilder, MalformedUtf8BecomesReplacementCharacters)
{
    // A stray continuation byte, an overlong encoding of '/', a sequence cut short at the end, an encoded
    // surrogate.
    EXPECT_EQ(Units(UsbDescriptorBuilder::String("a\x80"
                                                 "b")),
              (std::vector<std::uint16_t>{'a', 0xFFFD, 'b'}));
    EXPECT_EQ(Units(UsbDescriptorBuilder::String("\xC0\xAF")), (std::vector<std::uint16_t>{0xFFFD, 0xFFFD}));
    EXPECT_EQ(Units(UsbDescriptorBuilder::String("x\xE2\x82")), (std::vector<std::uint16_t>{'x', 0xFFFD}));
    EXPECT_EQ(Units(UsbDescriptorBuilder::String("\xED\xA0\x80")), (std::vector<std::uint16_t>{0xFFFD}));
}

TEST(UsbDescriptorBuilder, LongTextsAreCutToWhatADescriptorHolds)
{
    const Bytes longText = UsbDescriptorBuilder::String(std::string(300, 'x'));
    EXPECT_EQ(longText.size(), 254u);
    EXPECT_EQ(longText[0], 254);
    // 125 letters and then an emoji: its surrogate pair would end at unit 127, so neither half is kept.
    const Bytes cutPair = UsbDescriptorBuilder::String(std::string(125, 'y') + "\xF0\x9F\x98\x80");
    EXPECT_EQ(Units(cutPair).size(), 125u);
    EXPECT_EQ(Units(cutPair).back(), 'y');
    EXPECT_EQ(cutPair[0], cutPair.size());
}

TEST(UsbDescriptorBuilder, ReportDescriptorDeclaresTheThreeFeatureReports)
{
    for (const std::uint16_t usagePage : {0xFF00, 0x00FF}) {
        const test::ReportLayout layout =
            test::ParseReportDescriptor(UsbDescriptorBuilder::SensorReportDescriptor(usagePage, 0x0001, 257));
        EXPECT_TRUE(layout.wellFormed);
        EXPECT_EQ(layout.openCollections, 0);
        EXPECT_EQ(layout.usagePage, usagePage);
        EXPECT_EQ(layout.usage, 0x0001u);
        EXPECT_EQ(layout.featureBits,
                  (std::map<int, std::uint32_t>{{0x01, 257 * 8}, {0x02, 257 * 8}, {0x80, 257 * 8}}));
    }
}

TEST(UsbDescriptorBuilder, BootloaderConfigurationEndsWithTheFunctionalDescriptor)
{
    const Bytes configuration = UsbDescriptorBuilder::BootloaderConfiguration(2048);
    EXPECT_EQ(Le16(configuration, 2), configuration.size());
    EXPECT_EQ(configuration.size(), UsbDescriptorBuilder::kConfigurationHeaderLength + 9 + 9);
    const Bytes interface(configuration.begin() + 9, configuration.begin() + 18);
    EXPECT_EQ(interface, UsbDescriptorBuilder::Interface(0, 0, 0xFE, 0x01, 0x02, UsbDescriptorBuilder::kLayoutString));
    const Bytes functional(configuration.begin() + 18, configuration.end());
    EXPECT_EQ(functional, UsbDescriptorBuilder::DfuFunctional(2048));
    EXPECT_EQ(functional, (Bytes{9, 0x21, 0x0B, 0xFF, 0x00, 0x00, 0x08, 0x1A, 0x01}));
}

}  // namespace
}  // namespace tarnix::sim
