#include "GuiTestSupport.h"

#include "core/TpError.h"
#include "core/Utility.h"
#include "gui/ViewUtility.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr unsigned sourceCount = 10;

Parameters FullRecord() { return FullTestRecord(); }

// What the page gives back for an untouched page: every record of the tree, no value.
Parameters EmptyTree()
{
    Parameters p;
    p.geometry.emplace();
    DeviceConfiguration& c = p.deviceConfiguration.emplace();
    c.subTouchActiveArea.emplace();
    c.sizeRestriction.emplace();
    c.floatingProtection.emplace();
    c.clickOnTouch.emplace();
    c.snappingFilter.emplace();
    c.doubleClickPrevention.emplace();
    p.operationMode.emplace();
    return p;
}

class ViewUtilityTest : public ::testing::Test {
protected:
    void ShowRead(const Parameters& p)
    {
        ViewUtility::ClearViewParameters(view);
        ViewUtility::SetViewParameters(view, p);
        ViewUtility::UpdateScanningRange(view, ViewUtility::GetPossiblePeakCountAndRanges(p), p);
    }

    Parameters FromView()
    {
        Parameters p;
        ViewUtility::GetParametersFromView(view, p);
        return p;
    }

    std::string MissingFieldMessage()
    {
        try {
            FromView();
        } catch (const TpError::MissingInput& error) {
            return error.what();
        }
        return "no error";
    }

    PlacedParameterPage page;
    GuiTypes::ViewParameters& view = page.view;
};

TEST_F(ViewUtilityTest, ARecordReadFromASensorFillsEveryFieldWithItsOwnValue)
{
    ShowRead(FullRecord());

    const std::vector<std::pair<QLineEdit*, const char*>> expected = {
        {view.lowerBoundX, "100"},
        {view.lowerBoundY, "200"},
        {view.upperBoundX, "3000"},
        {view.upperBoundY, "2500"},
        {view.offsetX, "11"},
        {view.offsetY, "12"},
        {view.minSize, "13"},
        {view.maxSize, "400"},
        {view.hidDisplaySizeX, "1920"},
        {view.hidDisplaySizeY, "1080"},
        {view.numberOfReportedTouches, "7"},
        {view.fingerFrequency, "120"},
        {view.idleFrequency, "-20"},
        {view.floatingProtectionTime, "150"},
        {view.timeToUp, "250"},
        {view.distance, "30"},
        {view.i2cAddress, "42"},
        {view.snappingLeftInner, "1"},
        {view.snappingLeftOuter, "2"},
        {view.snappingRightInner, "3"},
        {view.snappingRightOuter, "4"},
        {view.snappingTopInner, "5"},
        {view.snappingTopOuter, "6"},
        {view.snappingBottomInner, "7"},
        {view.snappingBottomOuter, "8"},
        {view.preventionTime, "300"},
        {view.preventionRadius, "45"},
    };
    for (const auto& [edit, text] : expected) {
        EXPECT_EQ(edit->text(), text) << edit->objectName().toStdString();
    }
    const std::vector<std::pair<QComboBox*, const char*>> switches = {
        {view.reverseX, "On"},
        {view.reverseY, "Off"},
        {view.flipXY, "On"},
        {view.reflectiveEdgeFilter, "Off"},
        {view.maxSizeEnabled, "On"},
        {view.minSizeEnabled, "Off"},
        {view.floatingProtectionEnabled, "On"},
        {view.clickOnTouchEnabled, "Off"},
        {view.systemEnabled, "On"},
        {view.snappingFilterEnabled, "On"},
        {view.doubleClickPreventionEnabled, "Off"},
        {view.detection, "Off"},
        {view.detectionHid, "On"},
    };
    for (const auto& [box, text] : switches) {
        EXPECT_EQ(box->currentText(), text) << box->objectName().toStdString();
    }
    const int range = Utility::GetRangeFromPeakCount(*FullRecord().geometry->peakCount);
    EXPECT_EQ(view.scanningRange->currentText(), QString::number(range));
}

TEST_F(ViewUtilityTest, APageShowingARecordGivesTheRecordBackWithoutTheSensorsOptics)
{
    Parameters expected = FullRecord();
    ShowRead(expected);
    expected.geometry->sourceCount.reset();
    expected.geometry->sensorCount.reset();

    EXPECT_EQ(FromView(), expected);
}

TEST_F(ViewUtilityTest, AnEmptyPageGivesEveryRecordOfTheTreeAndNoValue)
{
    Parameters target = FullRecord();  // replaced as a whole, not merged
    ViewUtility::GetParametersFromView(view, target);
    EXPECT_EQ(target, EmptyTree());
}

TEST_F(ViewUtilityTest, OnlyTheFilledFieldsAreSet)
{
    view.timeToUp->setText("77");
    view.systemEnabled->setCurrentIndex(2);

    Parameters expected = EmptyTree();
    expected.deviceConfiguration->clickOnTouch->timeToUp = 77;
    expected.systemEnabled = false;
    EXPECT_EQ(FromView(), expected);
}

TEST_F(ViewUtilityTest, AHalfFilledPairNamesTheEmptyHalf)
{
    view.lowerBoundX->setText("50");
    EXPECT_EQ(MissingFieldMessage(), "Missing input: Lower Bound Y.");

    view.lowerBoundX->clear();
    view.lowerBoundY->setText("50");
    EXPECT_EQ(MissingFieldMessage(), "Missing input: Lower Bound X.");
}

TEST_F(ViewUtilityTest, EveryPairReportsItsOwnFieldNames)
{
    struct Pair {
        QLineEdit* first;
        QLineEdit* second;
        const char* firstName;
        const char* secondName;
    };
    const std::vector<Pair> pairs = {
        {view.upperBoundX, view.upperBoundY, "Upper Bound X", "Upper Bound Y"},
        {view.offsetX, view.offsetY, "Offset X", "Offset Y"},
        {view.hidDisplaySizeX, view.hidDisplaySizeY, "HID Display Size X", "HID Display Size Y"},
        {view.snappingLeftInner, view.snappingLeftOuter, "Snapping Filter Left Inner", "Snapping Filter Left Outer"},
        {view.snappingRightInner, view.snappingRightOuter, "Snapping Filter Right Inner",
         "Snapping Filter Right Outer"},
        {view.snappingTopInner, view.snappingTopOuter, "Snapping Filter Top Inner", "Snapping Filter Top Outer"},
        {view.snappingBottomInner, view.snappingBottomOuter, "Snapping Filter Bottom Inner",
         "Snapping Filter Bottom Outer"},
    };
    for (const Pair& pair : pairs) {
        pair.first->setText("1");
        EXPECT_EQ(MissingFieldMessage(), std::string("Missing input: ") + pair.secondName + ".");
        pair.first->clear();
        pair.second->setText("1");
        EXPECT_EQ(MissingFieldMessage(), std::string("Missing input: ") + pair.firstName + ".");
        pair.second->clear();
    }
}

TEST_F(ViewUtilityTest, TheFirstHalfFilledPairInPageOrderIsReportedAndTheRecordIsLeftAlone)
{
    view.snappingTopOuter->setText("4");
    view.upperBoundY->setText("9");
    Parameters target = FullRecord();

    EXPECT_THROW(ViewUtility::GetParametersFromView(view, target), TpError::MissingInput);
    EXPECT_EQ(MissingFieldMessage(), "Missing input: Upper Bound X.");
    EXPECT_EQ(target, FullRecord());
}

TEST_F(ViewUtilityTest, DisabledFieldsNeverContribute)
{
    view.fingerFrequency->setText("300");
    view.fingerFrequency->setEnabled(false);
    view.detection->setCurrentIndex(1);
    view.detection->setEnabled(false);
    // A pair whose filled half is disabled counts as not filled at all.
    view.offsetX->setText("5");
    view.offsetX->setEnabled(false);

    EXPECT_EQ(FromView(), EmptyTree());
}

TEST_F(ViewUtilityTest, OnOffBoxesReadOffAsFalseAndTheEmptyEntryAsNotSet)
{
    ViewUtility::SetOnOffComboBoxValue(view.reverseX, false);
    ViewUtility::SetOnOffComboBoxValue(view.reverseY, true);
    EXPECT_EQ(view.reverseX->currentText(), "Off");
    EXPECT_EQ(view.reverseY->currentText(), "On");
    EXPECT_FALSE(ViewUtility::GetOnOffComboBoxValue(view.reverseX));
    EXPECT_TRUE(ViewUtility::GetOnOffComboBoxValue(view.reverseY));

    const Parameters p = FromView();
    const SubTouchActiveArea& area = *p.deviceConfiguration->subTouchActiveArea;
    EXPECT_EQ(area.reverseX, std::optional<bool>(false));
    EXPECT_EQ(area.reverseY, std::optional<bool>(true));
    EXPECT_FALSE(area.flipXY.has_value());
}

TEST_F(ViewUtilityTest, NumbersKeepTheLowBitsOfTheirWidthAndFrequenciesOutsideSixteenBitsCountAsZero)
{
    view.minSize->setText("70000");
    view.numberOfReportedTouches->setText("300");
    view.fingerFrequency->setText("40000");
    view.idleFrequency->setText("-32768");
    view.snappingLeftInner->setText("65537");
    view.snappingLeftOuter->setText("no number");

    const Parameters p = FromView();
    EXPECT_EQ(p.deviceConfiguration->sizeRestriction->minSize, std::optional<uint16_t>(70000 & 0xFFFF));
    EXPECT_EQ(p.deviceConfiguration->numberOfReportedTouches, std::optional<uint8_t>(300 & 0xFF));
    EXPECT_EQ(p.fingerFrequency, std::optional<int16_t>(0));
    EXPECT_EQ(p.idleFrequency, std::optional<int16_t>(-32768));
    EXPECT_EQ(p.deviceConfiguration->snappingFilter->left, std::optional<SnappingDistance>(SnappingDistance{1, 0}));
}

TEST_F(ViewUtilityTest, TheScanningRangeListOffersTheSensorsRangesInAscendingOrder)
{
    Parameters p;
    p.geometry = Geometry{static_cast<uint8_t>(sourceCount), std::nullopt, std::nullopt};
    const QMap<int, int> ranges = ViewUtility::GetPossiblePeakCountAndRanges(p);
    ViewUtility::UpdateScanningRange(view, ranges, p);

    const auto expected = Utility::GetPossiblePeakCountAndRelativeHeights(sourceCount);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(view.scanningRange->count(), static_cast<int>(expected.size()) + 1);
    EXPECT_EQ(view.scanningRange->itemText(0), "");
    int index = 1;
    for (const auto& [range, peakCount] : expected) {
        EXPECT_EQ(ranges.value(range), peakCount);
        EXPECT_EQ(view.scanningRange->itemText(index++), QString::number(range));
    }
    EXPECT_FALSE(FromView().geometry->peakCount.has_value());
}

TEST_F(ViewUtilityTest, AChosenScanningRangeBecomesItsPeakCount)
{
    Parameters p;
    p.geometry = Geometry{static_cast<uint8_t>(sourceCount), std::nullopt, std::nullopt};
    ViewUtility::UpdateScanningRange(view, {{149, 3}}, p);
    view.scanningRange->setCurrentIndex(1);

    EXPECT_EQ(FromView().geometry->peakCount, std::optional<uint8_t>(Utility::GetPeakCountFromRange(149)));
}

TEST_F(ViewUtilityTest, WithoutTheSensorsSourceCountOnlyTheEmptyEntryIsOffered)
{
    Parameters noGeometry;
    EXPECT_TRUE(ViewUtility::GetPossiblePeakCountAndRanges(noGeometry).isEmpty());
    Parameters noSourceCount;
    noSourceCount.geometry = Geometry{std::nullopt, 4, 5};
    EXPECT_TRUE(ViewUtility::GetPossiblePeakCountAndRanges(noSourceCount).isEmpty());

    ViewUtility::UpdateScanningRange(view, {}, noSourceCount);
    EXPECT_EQ(view.scanningRange->count(), 1);
}

TEST_F(ViewUtilityTest, AStoredPeakCountWithoutAnOfferedRangeLeavesNoSelectionAndReadsBackAsNotSet)
{
    Parameters p;
    p.geometry = Geometry{static_cast<uint8_t>(sourceCount), std::nullopt, 20};
    ShowRead(p);

    EXPECT_EQ(view.scanningRange->currentIndex(), -1);
    EXPECT_FALSE(FromView().geometry->peakCount.has_value());
}

TEST_F(ViewUtilityTest, ShowingARecordLeavesTheFieldsOfAbsentValuesAsTheyWere)
{
    view.timeToUp->setText("5");
    view.detection->setCurrentIndex(1);
    Parameters p;
    p.deviceConfiguration.emplace().subTouchActiveArea.emplace().min = Vec2{5, -3};

    ViewUtility::SetViewParameters(view, p);
    EXPECT_EQ(view.timeToUp->text(), "5");
    EXPECT_EQ(view.detection->currentIndex(), 1);
    // Shown as stored, without the field's validator: below Lower Bound X's bottom and negative.
    EXPECT_EQ(view.lowerBoundX->text(), "5");
    EXPECT_EQ(view.lowerBoundY->text(), "-3");
}

TEST_F(ViewUtilityTest, ClearingEmptiesEveryFieldAndTheScanningRangeList)
{
    ShowRead(FullRecord());
    ViewUtility::ClearViewParameters(view);

    EXPECT_EQ(view.scanningRange->count(), 0);
    EXPECT_EQ(FromView(), EmptyTree());
    EXPECT_EQ(view.flipXY->count(), 3);
    EXPECT_EQ(view.flipXY->currentIndex(), 0);
}

TEST_F(ViewUtilityTest, CopyingAPageCopiesEveryTextAndSelection)
{
    ShowRead(FullRecord());
    PlacedParameterPage other;
    ViewUtility::UpdateScanningRange(other.view, ViewUtility::GetPossiblePeakCountAndRanges(FullRecord()),
                                     Parameters{});

    ViewUtility::CopyViewParameters(view, other.view);
    Parameters copied;
    ViewUtility::GetParametersFromView(other.view, copied);
    EXPECT_EQ(copied, FromView());
    EXPECT_EQ(other.view.scanningRange->currentIndex(), view.scanningRange->currentIndex());
}

}  // namespace
