#include "core/ParameterFields.h"
#include "gui/ParameterSection.h"

#include <gtest/gtest.h>

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

}  // namespace
