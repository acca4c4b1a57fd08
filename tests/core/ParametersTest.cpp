#include "core/Parameters.h"
#include "tests/core/SerializationTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(ParametersRecord, StartsEmptyAndTellsUnsetFromZero)
{
    const Parameters fresh;
    EXPECT_FALSE(fresh.geometry || fresh.deviceConfiguration || fresh.fingerFrequency || fresh.idleFrequency ||
                 fresh.i2cAddress || fresh.systemEnabled || fresh.operationMode);

    Parameters zero;
    zero.fingerFrequency = 0;
    EXPECT_NE(zero, fresh);
    Parameters emptyTable;
    emptyTable.geometry.emplace();
    EXPECT_NE(emptyTable, fresh);
}

TEST(ParametersRecord, CopiesAreIndependentDownToNestedValues)
{
    const Parameters original = SerializationTestSupport::FullRecord();
    Parameters copy = original;
    ASSERT_EQ(copy, original);
    copy.deviceConfiguration->subTouchActiveArea->max->x = 1;
    copy.deviceConfiguration->snappingFilter->left.reset();
    EXPECT_EQ(original.deviceConfiguration->subTouchActiveArea->max->x, 32767);
    EXPECT_TRUE(original.deviceConfiguration->snappingFilter->left);
    EXPECT_NE(copy, original);
}

// Equality looks at every member, however deep.
TEST(ParametersRecord, EqualityNoticesEachNestedDifference)
{
    const Parameters full = SerializationTestSupport::FullRecord();
    const std::vector<void (*)(Parameters&)> changes = {
        [](Parameters& p) { p.geometry->peakCount = 6; },
        [](Parameters& p) { p.deviceConfiguration->hidDisplaySize->y = 1; },
        [](Parameters& p) { p.deviceConfiguration->sizeRestriction->minSize.reset(); },
        [](Parameters& p) { p.deviceConfiguration->floatingProtection->time = 1; },
        [](Parameters& p) { p.deviceConfiguration->clickOnTouch->distance = 1; },
        [](Parameters& p) { p.deviceConfiguration->snappingFilter->bottom->outer = 1; },
        [](Parameters& p) { p.deviceConfiguration->doubleClickPrevention->preventionRadius = 1; },
        [](Parameters& p) { p.deviceConfiguration->subTouchActiveArea->offset->x = 0; },
        [](Parameters& p) { p.deviceConfiguration->numberOfReportedTouches = 1; },
        [](Parameters& p) { p.operationMode->detectionHid = false; },
        [](Parameters& p) { p.i2cAddress = 1; },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        Parameters changed = full;
        changes[i](changed);
        EXPECT_NE(changed, full) << "change " << i;
    }
}

}  // namespace
