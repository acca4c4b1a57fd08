#include "core/ParameterFields.h"
#include "gui/ParameterSection.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

// Every field of the parameter page reaches a member of the record by its schema path: a path that named
// nothing would leave its field out of every read and show without a sign.
TEST(PageFieldPaths, EveryFieldOfThePageNamesAMemberOfTheRecord)
{
    Parameters record;
    EmplaceParameterTables(record);
    const auto reached = [&](const char* path) { return VisitParameterPath(record, path, [](const auto&, auto) {}); };
    for (const ParameterSection::LineEditField& field : ParameterSection::LineEditFields()) {
        EXPECT_TRUE(reached(field.path)) << field.path;
    }
    for (const ParameterSection::OnOffField& field : ParameterSection::OnOffFields()) {
        EXPECT_TRUE(reached(field.path)) << field.path;
    }
}

// What the walk hands on for a path: the member's address and the half it names, or nothing.
struct Visited {
    bool found = false;
    const void* member = nullptr;
    std::string half;
};

Visited Visit(Parameters& record, std::string_view path)
{
    Visited visited;
    visited.found = VisitParameterPath(record, path, [&](const auto& member, std::string_view half) {
        visited.member = &member;
        visited.half = std::string(half);
    });
    return visited;
}

// A path names one value: a member that is no table, with nothing after it, or one half of a pair by the
// pair's own name for it. A typo in a table of paths (a letter in the wrong case, a half misspelt, text after
// a plain value) names nothing, so that the check above catches it.
TEST(PageFieldPaths, APathNamesOneValueAndATypoNamesNothing)
{
    Parameters record;
    EmplaceParameterTables(record);
    DeviceConfiguration& configuration = *record.deviceConfiguration;

    for (const char* typo : {"deviceConfiguration.hidDisplaySize.X", "deviceConfiguration.snappingFilter.left.iner",
                             "fingerFrequency.bogus"}) {
        const Visited visited = Visit(record, typo);
        EXPECT_FALSE(visited.found) << typo;
        EXPECT_EQ(visited.member, nullptr) << typo;
    }

    const struct {
        const char* path;
        const void* member;
        const char* half;
    } valid[] = {
        {"fingerFrequency", &record.fingerFrequency, ""},
        {"deviceConfiguration.clickOnTouch.timeToUp", &configuration.clickOnTouch->timeToUp, ""},
        {"deviceConfiguration.subTouchActiveArea.reverseX", &configuration.subTouchActiveArea->reverseX, ""},
        {"deviceConfiguration.hidDisplaySize.x", &configuration.hidDisplaySize, "x"},
        {"deviceConfiguration.hidDisplaySize.y", &configuration.hidDisplaySize, "y"},
        {"deviceConfiguration.snappingFilter.left.inner", &configuration.snappingFilter->left, "inner"},
        {"deviceConfiguration.snappingFilter.left.outer", &configuration.snappingFilter->left, "outer"},
    };
    for (const auto& path : valid) {
        const Visited visited = Visit(record, path.path);
        EXPECT_TRUE(visited.found) << path.path;
        EXPECT_EQ(visited.member, path.member) << path.path;
        EXPECT_EQ(visited.half, path.half) << path.path;
    }
}

}  // namespace
