#include "core/ApplicationModel.h"
#include "core/FlatbufferSchemas.h"
#include "core/ParameterFields.h"
#include "tests/core/SerializationTestSupport.h"

#include <flatbuffers/idl.h>
#include <flatbuffers/reflection.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

// The field list of a record against the schema's table: the same names, each at the slot the schema gives
// it; the records of child tables checked in turn. A field missing here would be dropped by every walk.
template <typename Record>
void ExpectListMatchesTable(const reflection::Schema& schema, const reflection::Object& table)
{
    SCOPED_TRACE(table.name()->str());
    std::map<std::string, const reflection::Field*> schemaFields;
    for (const reflection::Field* field : *table.fields()) {
        schemaFields[field->name()->str()] = field;
    }
    std::set<std::string> listed;
    ForEachParameterField<Record>([&](const auto& field) {
        EXPECT_TRUE(listed.insert(field.name).second) << field.name << " listed twice";
        const auto found = schemaFields.find(field.name);
        ASSERT_NE(found, schemaFields.end()) << field.name << " is not in the schema";
        EXPECT_EQ(field.slot, found->second->offset()) << field.name;
        using Value = std::decay_t<decltype(*(Record{}.*field.member))>;
        if constexpr (IsParameterTable<Value>::value) {
            ASSERT_EQ(found->second->type()->base_type(), reflection::Obj) << field.name;
            ExpectListMatchesTable<Value>(schema, *schema.objects()->Get(found->second->type()->index()));
        }
    });
    EXPECT_EQ(listed.size(), schemaFields.size()) << "a field of the schema is not listed";
}

TEST(ParameterFields, ListEveryFieldOfTheLatestSchemaOnceAtItsSlot)
{
    flatbuffers::Parser parser;
    ASSERT_TRUE(parser.Parse(FLATBUFFER_SCHEMAS[LATEST_FLATBUFFER_SCHEMA]));
    parser.Serialize();
    const reflection::Schema& schema = *reflection::GetSchema(parser.builder_.GetBufferPointer());
    ASSERT_NE(schema.root_table(), nullptr);
    ExpectListMatchesTable<Parameters>(schema, *schema.root_table());
}

// Child tables are built in the order their childOrder gives; an order outside 0..children-1 or one given
// twice would leave a child unbuilt or its place in the buffer undefined.
template <typename Record>
void ExpectChildOrdersArePositions()
{
    std::set<int> orders;
    std::size_t children = 0;
    ForEachParameterField<Record>([&](const auto& field) {
        using Value = std::decay_t<decltype(*(Record{}.*field.member))>;
        if constexpr (IsParameterTable<Value>::value) {
            ++children;
            orders.insert(field.childOrder);
            ExpectChildOrdersArePositions<Value>();
        }
    });
    EXPECT_EQ(orders.size(), children);
    if (!orders.empty()) {
        EXPECT_EQ(*orders.begin(), 0);
        EXPECT_EQ(*orders.rbegin(), static_cast<int>(children) - 1);
    }
}

TEST(ParameterFields, ChildTablesHaveDistinctBuildingPositions) { ExpectChildOrdersArePositions<Parameters>(); }

TEST(ParameterFields, CombiningAFullRecordCarriesEveryField)
{
    Parameters full = SerializationTestSupport::FullRecord();
    Parameters empty;
    ApplicationModel::CombineParameters(empty, full);
    EXPECT_EQ(empty, full);

    Parameters other;
    other.deviceConfiguration.emplace().snappingFilter.emplace().enabled = false;
    other.geometry.emplace().peakCount = 1;
    other.i2cAddress = 1;
    ApplicationModel::CombineParameters(other, full);
    EXPECT_EQ(other, full);
}

}  // namespace

namespace {

TEST(ParameterFields, APathReachesItsMemberOnlyThroughRecordsThatAreSet)
{
    Parameters record;
    int calls = 0;
    std::string rest;
    const auto count = [&](const auto&, std::string_view remainder) {
        ++calls;
        rest = std::string(remainder);
    };
    EXPECT_FALSE(VisitParameterPath(record, "deviceConfiguration.clickOnTouch.timeToUp", count));
    EXPECT_FALSE(VisitParameterPath(record, "noSuchField", count));
    EXPECT_EQ(calls, 0);

    EmplaceParameterTables(record);
    EXPECT_TRUE(record.deviceConfiguration->snappingFilter && record.operationMode && record.geometry);
    EXPECT_FALSE(record.deviceConfiguration->snappingFilter->left) << "values stay unset";
    EXPECT_TRUE(VisitParameterPath(record, "deviceConfiguration.clickOnTouch.timeToUp", [&](auto& member, auto) {
        if constexpr (std::is_same_v<std::decay_t<decltype(member)>, std::optional<uint16_t>>) {
            member = 77;
        }
    }));
    EXPECT_EQ(record.deviceConfiguration->clickOnTouch->timeToUp, 77);
    EXPECT_TRUE(VisitParameterPath(record, "deviceConfiguration.snappingFilter.left.outer", count));
    EXPECT_EQ(rest, "outer");
    EXPECT_FALSE(VisitParameterPath(record, "deviceConfiguration.noSuchTable.enabled", count));
    EXPECT_EQ(calls, 1);
}

}  // namespace
