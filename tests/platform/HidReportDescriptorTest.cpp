#include "platform/linux/HidReportDescriptor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "tests/support/DescriptorBytes.h"

namespace {

using tarnix::io::HidCapabilities;
using tarnix::platform::HidCollection;
using tarnix::platform::HidReportDescriptor;
using tarnix::test::descriptors::ApplicationCollection;
using tarnix::test::descriptors::Bytes;
using tarnix::test::descriptors::DigitizerCollection;
using tarnix::test::descriptors::FeatureReport;
using tarnix::test::descriptors::InputReport;
using tarnix::test::descriptors::Join;
using tarnix::test::descriptors::SensorReportDescriptor;

// The parser sees a heap block of exactly the descriptor's size, so a read past it is caught by ASan.
std::optional<std::vector<HidCollection>> Collections(const Bytes& descriptor)
{
    const Bytes exact(descriptor);
    return HidReportDescriptor::Parse(exact.data(), exact.size());
}

// The capabilities of the first top-level collection.
std::optional<HidCapabilities> Parse(const Bytes& descriptor)
{
    const auto collections = Collections(descriptor);
    if (!collections) {
        return std::nullopt;
    }
    EXPECT_FALSE(collections->empty());
    return collections->front().capabilities;
}

TEST(HidReportDescriptor, TopLevelUsagesThatDiscoveryTellsApart)
{
    struct Case {
        std::uint16_t page;
        std::uint8_t usage;
    };
    for (const Case& c : {Case{0xFF00, 0x01}, Case{0x000D, 0x04}, Case{0x00FF, 0x42}, Case{0xFF00, 0x02}}) {
        const auto capabilities = Parse(SensorReportDescriptor(c.page, c.usage));
        ASSERT_TRUE(capabilities) << c.page;
        EXPECT_EQ(capabilities->usagePage, c.page);
        EXPECT_EQ(capabilities->usage, c.usage);
        EXPECT_EQ(capabilities->featureReportLength, 258) << "257 data bytes and the report ID";
        EXPECT_EQ(capabilities->inputReportLength, 0) << "no input report";
        EXPECT_EQ(capabilities->outputReportLength, 0) << "no output report";
    }
}

TEST(HidReportDescriptor, UsagePageOfTheCollectionUsage)
{
    // A 4-byte usage names its own page, whatever the global usage page says.
    auto capabilities = Parse({0x05, 0x0D, 0x0B, 0x01, 0x00, 0x00, 0xFF, 0xA1, 0x01, 0xC0});
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usagePage, 0xFF00);
    EXPECT_EQ(capabilities->usage, 0x01);
    // A short usage takes the usage page in force at the collection, also one set after the usage.
    capabilities = Parse({0x05, 0x0D, 0x09, 0x04, 0x06, 0xFF, 0x00, 0xA1, 0x01, 0xC0});
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usagePage, 0x00FF);
    EXPECT_EQ(capabilities->usage, 0x04);
    // The first usage of the local state names the collection; a collection without usage has usage 0.
    capabilities = Parse({0x05, 0x01, 0x09, 0x02, 0x09, 0x06, 0xA1, 0x01, 0xC0});
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usage, 0x02);
    capabilities = Parse({0x05, 0x01, 0xA1, 0x01, 0xC0});
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usagePage, 0x01);
    EXPECT_EQ(capabilities->usage, 0x00);
    // The local state ends with every main item: a usage before an earlier collection is not carried on.
    capabilities = Parse({0x05, 0x01, 0x09, 0x02, 0xA1, 0x02, 0xC0, 0xA1, 0x01, 0xC0});
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usage, 0x00);
}

TEST(HidReportDescriptor, FirstTopLevelApplicationCollectionAndItsNestedReports)
{
    const Bytes descriptor = Join({
        {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x02, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0xC0},        // top-level physical
        {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01},                                            // the one that counts
        {0x05, 0x01, 0x09, 0x02, 0xA1, 0x00},                                                  // nested, other usage
        {0x85, 0x03, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x75, 0x05, 0x95, 0x01, 0x81, 0x03},  // 8 bits, ID 3
        {0xC0},
        {0x85, 0x04, 0x75, 0x08, 0x95, 0x09, 0x91, 0x02},  // output ID 4: 9 bytes
        {0x85, 0x05, 0x75, 0x03, 0x95, 0x03, 0x91, 0x02},  // output ID 5: 9 bits, 2 bytes
        {0xC0},
        {0x06, 0x01, 0xFF, 0x09, 0x07, 0xA1, 0x01, 0x85, 0x06, 0x75, 0x08, 0x96, 0x00, 0x04, 0xB1, 0x02, 0xC0},
    });
    const auto capabilities = Parse(descriptor);
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usagePage, 0xFF00) << "the physical collection and the nested one do not count";
    EXPECT_EQ(capabilities->usage, 0x01);
    EXPECT_EQ(capabilities->inputReportLength, 2) << "ID 3: 3 + 5 bits in one byte, plus the ID";
    EXPECT_EQ(capabilities->outputReportLength, 10) << "the largest output report, ID 4";
    EXPECT_EQ(capabilities->featureReportLength, 0) << "the feature report of the second collection";

    const auto collections = Collections(descriptor);
    ASSERT_TRUE(collections);
    ASSERT_EQ(collections->size(), 2u) << "the physical collection is none, the nested one part of the first";
    EXPECT_EQ((*collections)[1].capabilities.usagePage, 0xFF01);
    EXPECT_EQ((*collections)[1].capabilities.usage, 0x07);
    EXPECT_EQ((*collections)[1].capabilities.featureReportLength, 0x401);
    EXPECT_EQ((*collections)[1].capabilities.inputReportLength, 0) << "the first collection's reports stay there";
    EXPECT_EQ((*collections)[1].featureReportIds, std::vector<std::uint8_t>{0x06});
    EXPECT_TRUE((*collections)[0].featureReportIds.empty());
}

TEST(HidReportDescriptor, EachTopLevelCollectionHasItsOwnUsagesReportsAndIds)
{
    // A touch sensor's digitizer collection before its configuration collection, and a mouse after it.
    const Bytes descriptor = Join({DigitizerCollection(), SensorReportDescriptor(0xFF00, 0x01),
                                   ApplicationCollection(0x0001, 0x02, {InputReport(0x20, 3)})});
    const auto collections = Collections(descriptor);
    ASSERT_TRUE(collections);
    ASSERT_EQ(collections->size(), 3u);
    const HidCapabilities& digitizer = (*collections)[0].capabilities;
    EXPECT_EQ(digitizer.usagePage, 0x000D);
    EXPECT_EQ(digitizer.usage, 0x04);
    EXPECT_EQ(digitizer.inputReportLength, 9);
    EXPECT_EQ(digitizer.featureReportLength, 0);
    EXPECT_TRUE((*collections)[0].featureReportIds.empty());
    const HidCapabilities& configuration = (*collections)[1].capabilities;
    EXPECT_EQ(configuration.usagePage, 0xFF00);
    EXPECT_EQ(configuration.usage, 0x01);
    EXPECT_EQ(configuration.featureReportLength, 258);
    EXPECT_EQ(configuration.inputReportLength, 0) << "the digitizer's input report is not the sensor's";
    EXPECT_EQ((*collections)[1].featureReportIds, (std::vector<std::uint8_t>{0x01, 0x02, 0x80}));
    EXPECT_EQ((*collections)[2].capabilities.usagePage, 0x0001);
    EXPECT_EQ((*collections)[2].capabilities.inputReportLength, 4);
    EXPECT_EQ((*collections)[2].capabilities.featureReportLength, 0) << "the sensor's reports are not the mouse's";

    // Without report IDs a collection's feature report has ID 0.
    const auto unnumbered =
        Collections({0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x04, 0xB1, 0x02, 0xC0});
    ASSERT_TRUE(unnumbered);
    EXPECT_EQ(unnumbered->front().featureReportIds, std::vector<std::uint8_t>{0x00});
    // Main items between two collections belong to neither.
    const auto between = Collections(Join({DigitizerCollection(),
                                           {0x85, 0x30, 0x95, 0x40, 0xB1, 0x02},
                                           ApplicationCollection(0xFF00, 0x01, {FeatureReport(0x31, 2)})}));
    ASSERT_TRUE(between);
    ASSERT_EQ(between->size(), 2u);
    EXPECT_EQ((*between)[0].capabilities.featureReportLength, 0);
    EXPECT_EQ((*between)[1].capabilities.featureReportLength, 3);
    EXPECT_EQ((*between)[1].featureReportIds, std::vector<std::uint8_t>{0x31});
}

TEST(HidReportDescriptor, TheNumberOfCollectionsIsBounded)
{
    const Bytes one{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0};
    Bytes descriptor;
    for (std::size_t i = 0; i < HidReportDescriptor::kMaxCollections; ++i) {
        descriptor.insert(descriptor.end(), one.begin(), one.end());
    }
    const auto most = Collections(descriptor);
    ASSERT_TRUE(most);
    EXPECT_EQ(most->size(), HidReportDescriptor::kMaxCollections);
    descriptor.insert(descriptor.end(), one.begin(), one.end());
    EXPECT_FALSE(Collections(descriptor)) << "one more than the limit";
}

TEST(HidReportDescriptor, ReportsWithoutIdsStillCountTheIdByte)
{
    const auto capabilities = Parse({0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x01, 0x95, 0x0B, 0x81, 0x02, 0x75, 0x08,
                                     0x95, 0x02, 0xB1, 0x02, 0xC0});
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->inputReportLength, 3) << "11 bits round up to 2 bytes";
    EXPECT_EQ(capabilities->featureReportLength, 3);
}

TEST(HidReportDescriptor, LongItemsAreSkippedByTheirLength)
{
    // A long item whose data holds what would be a collection and an end collection as short items.
    Bytes descriptor = Join({{0x06, 0x00, 0xFF, 0x09, 0x01, 0xFE, 0x04, 0x10, 0xA1, 0x01, 0xC0, 0xC0, 0xA1, 0x01},
                             FeatureReport(0x02, 10),
                             {0xFE, 0x00, 0x20, 0xC0}});
    auto capabilities = Parse(descriptor);
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usage, 0x01);
    EXPECT_EQ(capabilities->featureReportLength, 11);
    // A long item that claims more data than there is.
    descriptor = Join({SensorReportDescriptor(0xFF00, 1), {0xFE, 0x05, 0x10, 0x00, 0x00}});
    EXPECT_FALSE(Parse(descriptor));
    EXPECT_FALSE(Parse(Join({SensorReportDescriptor(0xFF00, 1), {0xFE, 0x00}})));
}

TEST(HidReportDescriptor, PushAndPopOfTheGlobalState)
{
    const Bytes descriptor = Join({
        {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x04},
        {0xA4, 0x05, 0x0D, 0x75, 0x10, 0x95, 0x10, 0x85, 0x07, 0x81, 0x02, 0xB4},  // ID 7: 32 bytes input
        {0x81, 0x02},                                                              // 4 bytes, no ID again
        {0xC0},
    });
    const auto capabilities = Parse(descriptor);
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usagePage, 0xFF00);
    EXPECT_EQ(capabilities->inputReportLength, 33);

    // The stack holds 16 states; one more push, or a pop of an empty stack, spoils the descriptor.
    const Bytes collection{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0};
    EXPECT_TRUE(Parse(Join({Bytes(16, 0xA4), Bytes(16, 0xB4), collection})));
    EXPECT_FALSE(Parse(Join({Bytes(17, 0xA4), collection})));
    EXPECT_FALSE(Parse(Join({collection, {0xB4}})));
}

TEST(HidReportDescriptor, EveryTruncationIsRefused)
{
    const Bytes whole = SensorReportDescriptor(0xFF00, 1);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        EXPECT_FALSE(Parse(Bytes(whole.begin(), whole.begin() + length))) << "first " << length << " bytes";
    }
}

TEST(HidReportDescriptor, MalformedStructureIsRefused)
{
    EXPECT_FALSE(Parse({})) << "empty: the descriptor of a sensor whose capabilities cannot be read";
    EXPECT_FALSE(Parse({0x05, 0x01, 0x09, 0x02, 0xA1, 0x02, 0xC0})) << "no application collection";
    EXPECT_FALSE(Parse({0x05, 0x01, 0xA1, 0x01, 0xC0, 0xC0})) << "end collection without collection";
    EXPECT_FALSE(Parse({0x05, 0x01, 0xA1, 0x01, 0xA1, 0x00, 0xC0})) << "collection left open";
    EXPECT_FALSE(Parse({0x05, 0x01, 0xA1, 0x01, 0x85, 0x00, 0xC0})) << "report ID 0";
    EXPECT_FALSE(Parse({0x05, 0x01, 0xA1, 0x01, 0x86, 0x00, 0x01, 0xC0})) << "report ID 256";
    EXPECT_TRUE(Parse({0x05, 0x01, 0xA1, 0x01, 0x85, 0xFF, 0xC0})) << "report ID 255";
}

TEST(HidReportDescriptor, OversizedReportsAreRefusedWithoutOverflow)
{
    const Bytes open{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    // 65534 data bytes and the ID byte are the most the capabilities can tell.
    auto capabilities = Parse(Join({open, FeatureReport(0x01, 0xFFFE), {0xC0}}));
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->featureReportLength, 0xFFFF);
    EXPECT_FALSE(Parse(Join({open, FeatureReport(0x01, 0xFFFF), {0xC0}})));
    // Size and count of 2^32 - 1 each: their product does not fit 32 bits.
    EXPECT_FALSE(Parse(Join({open, {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0xC0}})));
    // Many items that each fit but together do not.
    Bytes many = Join({open, {0x75, 0x08, 0x96, 0x00, 0x40}});
    for (int i = 0; i < 4; ++i) {
        many.insert(many.end(), {0x81, 0x02});
    }
    EXPECT_FALSE(Parse(Join({many, {0xC0}})));
}

TEST(HidReportDescriptor, LongDescriptorsAreReadToTheEnd)
{
    // A megabyte of items that do nothing (push and pop) before the collection.
    Bytes descriptor;
    for (int i = 0; i < 512 * 1024; ++i) {
        descriptor.insert(descriptor.end(), {0xA4, 0xB4});
    }
    const Bytes collection = SensorReportDescriptor(0x00FF, 3);
    descriptor.insert(descriptor.end(), collection.begin(), collection.end());
    const auto capabilities = Parse(descriptor);
    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->usagePage, 0x00FF);
    EXPECT_EQ(capabilities->featureReportLength, 258);
}

TEST(HidReportDescriptor, GarbageAfterTheFirstCollectionCannotChangeIt)
{
    // Whatever follows a closed first collection either spoils the descriptor or leaves that collection alone.
    std::mt19937 generator(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(1, 64);
    const Bytes sensor = SensorReportDescriptor(0xFF00, 1);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes garbage(static_cast<std::size_t>(length(generator)));
        for (std::uint8_t& b : garbage) {
            b = static_cast<std::uint8_t>(byte(generator));
        }
        if (Parse(garbage)) {
            EXPECT_GE(garbage.size(), 3u) << "the shortest application collection is A1 01 C0";
        }
        const auto capabilities = Parse(Join({sensor, garbage}));
        if (capabilities) {
            ++accepted;
            EXPECT_EQ(capabilities->usagePage, 0xFF00);
            EXPECT_EQ(capabilities->usage, 0x01);
            EXPECT_EQ(capabilities->featureReportLength, 258);
            EXPECT_EQ(capabilities->inputReportLength, 0);
        }
    }
    EXPECT_GT(accepted, 0) << "some garbage is made of harmless items";
}

}  // namespace
