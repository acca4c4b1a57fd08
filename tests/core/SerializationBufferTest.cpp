#include "core/FlatbufferSchemas.h"
#include "core/Serialization.h"
#include "core/TpError.h"
#include "core/tnxp_serialization_generated.h"
#include "tests/core/SerializationTestSupport.h"

#include <flatbuffers/idl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace fb = tnxp_serialization;
using SerializationTestSupport::FullRecord;

namespace {

Serialization& serialization = Serialization::GetInstance();

// The record's buffer at the start of a zero-filled parameter area, as a sensor holds it.
std::vector<unsigned char> AreaOf(const Parameters& parameters, unsigned char filler = 0)
{
    std::vector<unsigned char> area(Serialization::ParameterAreaSize, filler);
    unsigned int length = 0;
    serialization.Serialize(parameters, area.data(), length);
    area.resize(length);
    area.resize(Serialization::ParameterAreaSize, filler);
    return area;
}

Parameters ReadBack(const std::vector<unsigned char>& area)
{
    Parameters result;
    serialization.Deserialize(area.data(), result);
    return result;
}

bool Present(const void* table, flatbuffers::voffset_t field)
{
    return static_cast<const flatbuffers::Table*>(table)->CheckField(field);
}

std::uintptr_t Address(const void* table) { return reinterpret_cast<std::uintptr_t>(table); }

// Where a field lies inside its table; flatbuffers writes fields back to front, so the first one added lies last.
std::vector<flatbuffers::voffset_t> FieldPositions(const void* table, std::vector<flatbuffers::voffset_t> fields)
{
    std::vector<flatbuffers::voffset_t> positions;
    for (auto field : fields) {
        positions.push_back(static_cast<const flatbuffers::Table*>(table)->GetOptionalFieldOffset(field));
    }
    return positions;
}

void ExpectAddedInOrder(const void* table, std::vector<flatbuffers::voffset_t> fields)
{
    const auto positions = FieldPositions(table, fields);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        EXPECT_NE(positions[i], 0) << "field " << fields[i] << " missing";
        if (i > 0) {
            EXPECT_GT(positions[i - 1], positions[i]) << "field " << fields[i] << " added out of order";
        }
    }
}

TEST(ParameterBuffer, EmptyRecordGivesEmptyRootAndReadsBackEmpty)
{
    const auto area = AreaOf(Parameters{});
    EXPECT_EQ(std::memcmp(area.data() + 4, "QTXS", 4), 0);
    const auto* root = flatbuffers::GetRoot<flatbuffers::Table>(area.data());
    for (flatbuffers::voffset_t field = 4; field <= 16; field += 2) {
        EXPECT_FALSE(Present(root, field)) << field;
    }

    // The table members are replaced by what the buffer holds (nothing); scalars the buffer lacks are kept.
    Parameters held = FullRecord();
    serialization.Deserialize(area.data(), held);
    EXPECT_FALSE(held.geometry || held.deviceConfiguration || held.operationMode);
    EXPECT_EQ(held.fingerFrequency, FullRecord().fingerFrequency);
    EXPECT_EQ(held.systemEnabled, FullRecord().systemEnabled);
    EXPECT_EQ(ReadBack(area), Parameters{});
}

TEST(ParameterBuffer, FullRecordRoundTripsAndFitsTheBuilderWithoutGrowing)
{
    unsigned char destination[Serialization::ParameterAreaSize] = {};
    unsigned int length = 0;
    serialization.Serialize(FullRecord(), destination, length);
    EXPECT_GT(length, 8u);
    EXPECT_LT(length, 1024u);
    EXPECT_EQ(ReadBack(AreaOf(FullRecord())), FullRecord());
    EXPECT_EQ(ReadBack(AreaOf(FullRecord(), 0xFF)), FullRecord());
}

TEST(ParameterBuffer, ZeroAndFalseAreWrittenAndReadBackAsSet)
{
    Parameters record;
    record.deviceConfiguration.emplace().reflectiveEdge = false;
    record.fingerFrequency = 0;
    const auto area = AreaOf(record);
    const auto* root = fb::GetParameters(area.data());
    EXPECT_TRUE(Present(root->deviceConfiguration(), fb::DeviceConfiguration::VT_REFLECTIVEEDGE));
    EXPECT_TRUE(Present(root, fb::Parameters::VT_FINGERFREQUENCY));
    EXPECT_EQ(ReadBack(area), record);
}

TEST(ParameterBuffer, Vec2KeepsTheLow16BitsAndSignExtends)
{
    Parameters record;
    record.deviceConfiguration.emplace().hidDisplaySize = Vec2{-1, 70000};
    const auto area = AreaOf(record);
    const auto* stored = fb::GetParameters(area.data())->deviceConfiguration()->hidDisplaySize();
    EXPECT_EQ(static_cast<uint16_t>(stored->x()), 0xFFFF);
    EXPECT_EQ(stored->y(), 4464);
    EXPECT_EQ(ReadBack(area).deviceConfiguration->hidDisplaySize, (Vec2{-1, 4464}));
}

TEST(ParameterBuffer, TablesAndFieldsAreLaidOutInTheirBuildingOrder)
{
    const auto area = AreaOf(FullRecord());
    const auto* root = fb::GetParameters(area.data());
    const auto* configuration = root->deviceConfiguration();
    using P = fb::Parameters;
    using D = fb::DeviceConfiguration;
    using A = fb::SubTouchActiveArea;
    // Children built first lie furthest back in the buffer.
    EXPECT_GT(Address(configuration), Address(root->geometry()));
    EXPECT_GT(Address(root->geometry()), Address(root->operationMode()));
    const std::vector<const void*> children = {
        configuration->subTouchActiveArea(), configuration->sizeRestriction(), configuration->floatingProtection(),
        configuration->clickOnTouch(),       configuration->snappingFilter(),  configuration->doubleClickPrevention()};
    for (std::size_t i = 1; i < children.size(); ++i) {
        EXPECT_GT(Address(children[i - 1]), Address(children[i])) << i;
    }
    ExpectAddedInOrder(root, {P::VT_DEVICECONFIGURATION, P::VT_GEOMETRY, P::VT_OPERATIONMODE, P::VT_FINGERFREQUENCY,
                              P::VT_IDLEFREQUENCY, P::VT_I2CADDRESS, P::VT_SYSTEMENABLED});
    ExpectAddedInOrder(configuration, {D::VT_SUBTOUCHACTIVEAREA, D::VT_SIZERESTRICTION, D::VT_CLICKONTOUCH,
                                       D::VT_SNAPPINGFILTER, D::VT_DOUBLECLICKPREVENTION, D::VT_HIDDISPLAYSIZE,
                                       D::VT_FLOATINGPROTECTION, D::VT_NUMBEROFREPORTEDTOUCHES, D::VT_REFLECTIVEEDGE});
    ExpectAddedInOrder(configuration->subTouchActiveArea(),
                       {A::VT_MAX, A::VT_MIN, A::VT_OFFSET, A::VT_REVERSEX, A::VT_REVERSEY, A::VT_FLIPXY});
    ExpectAddedInOrder(configuration->snappingFilter(),
                       {fb::SnappingFilter::VT_ENABLED, fb::SnappingFilter::VT_LEFT, fb::SnappingFilter::VT_RIGHT,
                        fb::SnappingFilter::VT_TOP, fb::SnappingFilter::VT_BOTTOM});
}

TEST(ParameterBuffer, OlderSchemaBufferReadsWithNewerFieldsUnset)
{
    flatbuffers::IDLOptions options;
    options.force_defaults = true;
    flatbuffers::Parser parser(options);
    ASSERT_TRUE(parser.Parse(TNXP_SERIALIZATION_1_0_FBS));
    ASSERT_TRUE(parser.Parse(R"({"geometry": {"peakCount": 7}, "idleFrequency": 0,
        "deviceConfiguration": {"hidDisplaySize": {"x": 800, "y": -2}, "clickOnTouch": {"enabled": true}}})"));
    std::vector<unsigned char> area(parser.builder_.GetBufferPointer(),
                                    parser.builder_.GetBufferPointer() + parser.builder_.GetSize());
    area.resize(Serialization::ParameterAreaSize, 0xFF);

    Parameters expected;
    expected.geometry.emplace().peakCount = 7;
    expected.idleFrequency = 0;
    expected.deviceConfiguration.emplace().hidDisplaySize = Vec2{800, -2};
    expected.deviceConfiguration->clickOnTouch.emplace().enabled = true;
    EXPECT_EQ(ReadBack(area), expected);
}

// Areas that cannot hold a parameter buffer are refused and leave the record as it was.
TEST(ParameterBuffer, CorruptAreasAreRefusedWithoutTouchingTheRecord)
{
    std::vector<std::pair<const char*, std::vector<unsigned char>>> areas = {
        {"erased", std::vector<unsigned char>(Serialization::ParameterAreaSize, 0xFF)},
        {"zeroed", std::vector<unsigned char>(Serialization::ParameterAreaSize, 0x00)},
    };
    auto rootPastArea = AreaOf(FullRecord());
    const uint32_t pastEnd = Serialization::ParameterAreaSize + 16;
    std::memcpy(rootPastArea.data(), &pastEnd, sizeof pastEnd);
    areas.emplace_back("root offset past the area", rootPastArea);

    auto childPastArea = AreaOf(FullRecord());
    const auto* root = flatbuffers::GetRoot<flatbuffers::Table>(childPastArea.data());
    const auto childField = root->GetOptionalFieldOffset(fb::Parameters::VT_GEOMETRY);
    const auto childAt = reinterpret_cast<const unsigned char*>(root) - childPastArea.data() + childField;
    std::memcpy(childPastArea.data() + childAt, &pastEnd, sizeof pastEnd);
    areas.emplace_back("table offset past the area", childPastArea);

    for (const auto& [name, area] : areas) {
        Parameters held;
        held.idleFrequency = 42;
        EXPECT_THROW(serialization.Deserialize(area.data(), held), TpError::ParametersBufferMissingIdentifier) << name;
        EXPECT_EQ(held.idleFrequency, 42) << name;
        EXPECT_FALSE(held.geometry) << name;
    }
    // A valid buffer that the stated area size cuts short is refused too.
    const auto full = AreaOf(FullRecord());
    Parameters held;
    EXPECT_THROW(serialization.Deserialize(full.data(), held, 64), TpError::ParametersBufferMissingIdentifier);
    EXPECT_THROW(serialization.Deserialize(full.data(), held, 6), TpError::ParametersBufferMissingIdentifier);
    EXPECT_THROW(serialization.Deserialize(nullptr, held), TpError::ParametersBufferMissingIdentifier);
}

TEST(ParameterBuffer, ReadsFromAnUnalignedArea)
{
    std::vector<unsigned char> shifted(Serialization::ParameterAreaSize + 1, 0);
    const auto area = AreaOf(FullRecord());
    std::memcpy(shifted.data() + 1, area.data(), area.size());
    Parameters result;
    serialization.Deserialize(shifted.data() + 1, result);
    EXPECT_EQ(result, FullRecord());
}

}  // namespace
