#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sensor/SensorCollections.h"
#include "sim/sensor/UsbDescriptorBuilder.h"
#include "tests/support/HidReportLayout.h"

namespace tarnix::sim {
namespace {

TEST(SensorCollections, TheWrittenFormRoundTrips)
{
    std::string error;
    const auto plain = SensorCollections::Parse("config", error);
    ASSERT_TRUE(plain) << error;
    ASSERT_EQ(plain->size(), 1u);
    EXPECT_TRUE(plain->front().configuration);
    EXPECT_EQ(plain->front().featureBytes, 257);
    EXPECT_EQ(SensorCollections::Format(SensorCollections::Default()), "config");

    const auto several = SensorCollections::Parse("0x0D:0x04,config/128,65280:2", error);
    ASSERT_TRUE(several) << error;
    ASSERT_EQ(several->size(), 3u);
    EXPECT_FALSE((*several)[0].configuration);
    EXPECT_EQ((*several)[0].usagePage, 0x000D);
    EXPECT_EQ((*several)[0].usage, 0x0004);
    EXPECT_TRUE((*several)[1].configuration);
    EXPECT_EQ((*several)[1].featureBytes, 128);
    EXPECT_EQ((*several)[2].usagePage, 0xFF00) << "decimal numbers too";
    EXPECT_EQ((*several)[2].usage, 2);
    EXPECT_EQ(SensorCollections::Configuration(*several), 1u);
    const std::string written = SensorCollections::Format(*several);
    EXPECT_EQ(written, "0xD:0x4,config/128,0xFF00:0x2");
    const auto again = SensorCollections::Parse(written, error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(SensorCollections::Format(*again), written);

    const auto digitizerOnly = SensorCollections::Parse("0x0D:0x04", error);
    ASSERT_TRUE(digitizerOnly) << error;
    EXPECT_FALSE(SensorCollections::Configuration(*digitizerOnly)) << "a device without the configuration collection";
}

TEST(SensorCollections, WhatNoSensorHasIsRefusedWithAReason)
{
    for (const char* text : {"", ",", "config,", "conf", "configs", "config/", "config/x", "config/0", "config/258",
                             "config/65536", "config,config", "0x0D", "0x0D:", ":4", "0x10000:1", "1:0x10000", "-1:1",
                             "config,1:1,1:2,1:3,1:4,1:5,1:6,1:7,1:8"}) {
        std::string error;
        EXPECT_FALSE(SensorCollections::Parse(text, error)) << '"' << text << '"';
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(error.find('\n'), std::string::npos) << text;
    }
    std::string error;
    EXPECT_TRUE(SensorCollections::Parse("config/1", error)) << error;
    EXPECT_TRUE(SensorCollections::Parse("1:1,1:2,1:3,1:4,1:5,1:6,1:7,config", error)) << "eight collections";
    EXPECT_FALSE(SensorCollections::Check({}).empty());
}

TEST(SensorCollections, TheReportDescriptorHoldsEveryCollectionInOrder)
{
    std::string error;
    const auto collections = SensorCollections::Parse("0x0D:0x04,config/128,0x01:0x02", error);
    ASSERT_TRUE(collections) << error;
    const UsbDescriptorBuilder::Bytes descriptor =
        UsbDescriptorBuilder::SensorReportDescriptor(0xFF00, 0x0001, *collections);
    const std::vector<test::ReportLayout> layouts = test::ParseTopLevelCollections(descriptor);
    ASSERT_EQ(layouts.size(), 3u);
    EXPECT_EQ(layouts[0].usagePage, 0x000Du);
    EXPECT_EQ(layouts[0].usage, 0x0004u);
    EXPECT_TRUE(layouts[0].featureBits.empty()) << "a digitizer has no feature report";
    EXPECT_EQ(layouts[1].usagePage, 0xFF00u);
    EXPECT_EQ(layouts[1].usage, 0x0001u);
    EXPECT_EQ(layouts[1].featureBits, (std::map<int, std::uint32_t>{{0x01, 1024}, {0x02, 1024}, {0x80, 1024}}));
    EXPECT_EQ(layouts[2].usagePage, 0x0001u);
    for (const test::ReportLayout& layout : layouts) {
        EXPECT_TRUE(layout.wellFormed);
        EXPECT_EQ(layout.openCollections, 0);
    }
}

}  // namespace
}  // namespace tarnix::sim
