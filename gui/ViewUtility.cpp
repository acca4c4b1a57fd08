#include "gui/ViewUtility.h"

#include "core/TpError.h"
#include "core/Utility.h"

#include <QComboBox>
#include <QLineEdit>

#include <array>
#include <cstdint>

using GuiTypes::ViewParameters;

namespace {

constexpr int onIndex = 1;
constexpr int offIndex = 2;

// The 27 line edits and the 13 on/off boxes of the page, in record order.
const std::array<QLineEdit* ViewParameters::*, 27> lineEditMembers = {
    &ViewParameters::lowerBoundX,        &ViewParameters::lowerBoundY,         &ViewParameters::upperBoundX,
    &ViewParameters::upperBoundY,        &ViewParameters::offsetX,             &ViewParameters::offsetY,
    &ViewParameters::minSize,            &ViewParameters::maxSize,             &ViewParameters::hidDisplaySizeX,
    &ViewParameters::hidDisplaySizeY,    &ViewParameters::numberOfReportedTouches,
    &ViewParameters::fingerFrequency,    &ViewParameters::idleFrequency,       &ViewParameters::floatingProtectionTime,
    &ViewParameters::timeToUp,           &ViewParameters::distance,            &ViewParameters::i2cAddress,
    &ViewParameters::snappingLeftInner,  &ViewParameters::snappingLeftOuter,   &ViewParameters::snappingRightInner,
    &ViewParameters::snappingRightOuter, &ViewParameters::snappingTopInner,    &ViewParameters::snappingTopOuter,
    &ViewParameters::snappingBottomInner, &ViewParameters::snappingBottomOuter, &ViewParameters::preventionTime,
    &ViewParameters::preventionRadius,
};

const std::array<QComboBox* ViewParameters::*, 13> onOffMembers = {
    &ViewParameters::reverseX,
    &ViewParameters::reverseY,
    &ViewParameters::flipXY,
    &ViewParameters::reflectiveEdgeFilter,
    &ViewParameters::maxSizeEnabled,
    &ViewParameters::minSizeEnabled,
    &ViewParameters::floatingProtectionEnabled,
    &ViewParameters::clickOnTouchEnabled,
    &ViewParameters::systemEnabled,
    &ViewParameters::snappingFilterEnabled,
    &ViewParameters::doubleClickPreventionEnabled,
    &ViewParameters::detection,
    &ViewParameters::detectionHid,
};

bool IsSet(const QLineEdit* edit) { return edit->isEnabled() && !edit->text().isEmpty(); }

bool IsSet(const QComboBox* box) { return box->isEnabled() && box->currentIndex() > 0; }

// A decimal integer; text that is none counts as 0.
int ToInt(const QLineEdit* edit) { return edit->text().toInt(nullptr, 10); }

// Keeps the low bits of the entered integer in the field's width.
template <typename Number>
void ReadNumber(const QLineEdit* edit, std::optional<Number>& field)
{
    if (IsSet(edit)) {
        field = static_cast<Number>(ToInt(edit));
    }
}

// Frequencies are signed 16-bit numbers; text outside that range counts as 0.
void ReadSigned16(const QLineEdit* edit, std::optional<std::int16_t>& field)
{
    if (IsSet(edit)) {
        field = edit->text().toShort(nullptr, 10);
    }
}

void ReadOnOff(QComboBox* box, std::optional<bool>& field)
{
    if (IsSet(box)) {
        field = ViewUtility::GetOnOffComboBoxValue(box);
    }
}

template <typename Number>
void ShowNumber(QLineEdit* edit, const std::optional<Number>& field)
{
    if (field) {
        edit->setText(QString::number(*field));
    }
}

void ShowOnOff(QComboBox* box, const std::optional<bool>& field)
{
    if (field) {
        ViewUtility::SetOnOffComboBoxValue(box, *field);
    }
}

void ShowVec2(QLineEdit* x, QLineEdit* y, const std::optional<Vec2>& field)
{
    if (field) {
        x->setText(QString::number(field->x));
        y->setText(QString::number(field->y));
    }
}

void ShowSnappingDistance(QLineEdit* inner, QLineEdit* outer, const std::optional<SnappingDistance>& field)
{
    if (field) {
        inner->setText(QString::number(field->inner));
        outer->setText(QString::number(field->outer));
    }
}

// Calls show with the record when it is present.
template <typename Record, typename Show>
void IfPresent(const std::optional<Record>& record, Show show)
{
    if (record) {
        show(*record);
    }
}

// The pair rule, with the field name that a half-filled pair reports: the half that is not set.
template <typename Value, typename Make>
bool CheckAndPopulatePair(QLineEdit* first, QLineEdit* second, std::optional<Value>& out, Make make)
{
    const bool firstSet = IsSet(first);
    const bool secondSet = IsSet(second);
    if (firstSet && secondSet) {
        out = make(ToInt(first), ToInt(second));
        return true;
    }
    return !firstSet && !secondSet;
}

template <typename Value, typename Check>
void RequirePair(QLineEdit* first, QLineEdit* second, std::optional<Value>& out, const char* firstName,
                 const char* secondName, Check check)
{
    if (!check(first, second, out)) {
        throw TpError::MissingInput(IsSet(first) ? secondName : firstName);
    }
}

}  // namespace

void ViewUtility::SetOnOffComboBoxValue(QComboBox* box, bool value) { box->setCurrentIndex(value ? onIndex : offIndex); }

bool ViewUtility::GetOnOffComboBoxValue(QComboBox* box) { return box->currentIndex() == onIndex; }

bool ViewUtility::CheckAndPopulateVec2(QLineEdit* x, QLineEdit* y, std::optional<Vec2>& out)
{
    return CheckAndPopulatePair(x, y, out, [](int first, int second) { return Vec2{first, second}; });
}

bool ViewUtility::CheckAndPopulateSnappingDistance(QLineEdit* inner, QLineEdit* outer,
                                                   std::optional<SnappingDistance>& out)
{
    return CheckAndPopulatePair(inner, outer, out, [](int first, int second) {
        return SnappingDistance{static_cast<std::uint16_t>(first), static_cast<std::uint16_t>(second)};
    });
}

// ---------------------------------------------------------------------------------------------------------
// Page to record

void ViewUtility::GetParametersFromView(ViewParameters& view, Parameters& parameters)
{
    Parameters built;
    built.geometry.emplace();
    DeviceConfiguration& configuration = built.deviceConfiguration.emplace();
    configuration.subTouchActiveArea.emplace();
    configuration.sizeRestriction.emplace();
    configuration.floatingProtection.emplace();
    configuration.clickOnTouch.emplace();
    configuration.snappingFilter.emplace();
    configuration.doubleClickPrevention.emplace();
    built.operationMode.emplace();

    ReadScalars(view, built);
    ReadOnOffFields(view, built);
    ReadPairs(view, built);
    parameters = std::move(built);
}

void ViewUtility::ReadScalars(ViewParameters& view, Parameters& parameters)
{
    DeviceConfiguration& configuration = *parameters.deviceConfiguration;
    ReadNumber(view.minSize, configuration.sizeRestriction->minSize);
    ReadNumber(view.maxSize, configuration.sizeRestriction->maxSize);
    ReadNumber(view.floatingProtectionTime, configuration.floatingProtection->time);
    ReadNumber(view.timeToUp, configuration.clickOnTouch->timeToUp);
    ReadNumber(view.distance, configuration.clickOnTouch->distance);
    ReadNumber(view.preventionTime, configuration.doubleClickPrevention->preventionTime);
    ReadNumber(view.preventionRadius, configuration.doubleClickPrevention->preventionRadius);
    ReadNumber(view.numberOfReportedTouches, configuration.numberOfReportedTouches);
    ReadNumber(view.i2cAddress, parameters.i2cAddress);
    ReadSigned16(view.fingerFrequency, parameters.fingerFrequency);
    ReadSigned16(view.idleFrequency, parameters.idleFrequency);
    if (IsSet(view.scanningRange)) {
        const int range = view.scanningRange->currentText().toInt(nullptr, 10);
        parameters.geometry->peakCount = static_cast<std::uint8_t>(Utility::GetPeakCountFromRange(range));
    }
}

void ViewUtility::ReadOnOffFields(ViewParameters& view, Parameters& parameters)
{
    DeviceConfiguration& configuration = *parameters.deviceConfiguration;
    SubTouchActiveArea& area = *configuration.subTouchActiveArea;
    ReadOnOff(view.reverseX, area.reverseX);
    ReadOnOff(view.reverseY, area.reverseY);
    ReadOnOff(view.flipXY, area.flipXY);
    ReadOnOff(view.reflectiveEdgeFilter, configuration.reflectiveEdge);
    ReadOnOff(view.maxSizeEnabled, configuration.sizeRestriction->maxSizeEnabled);
    ReadOnOff(view.minSizeEnabled, configuration.sizeRestriction->minSizeEnabled);
    ReadOnOff(view.floatingProtectionEnabled, configuration.floatingProtection->enabled);
    ReadOnOff(view.clickOnTouchEnabled, configuration.clickOnTouch->enabled);
    ReadOnOff(view.snappingFilterEnabled, configuration.snappingFilter->enabled);
    ReadOnOff(view.doubleClickPreventionEnabled, configuration.doubleClickPrevention->enabled);
    ReadOnOff(view.systemEnabled, parameters.systemEnabled);
    ReadOnOff(view.detection, parameters.operationMode->detection);
    ReadOnOff(view.detectionHid, parameters.operationMode->detectionHid);
}

void ViewUtility::ReadPairs(ViewParameters& view, Parameters& parameters)
{
    DeviceConfiguration& configuration = *parameters.deviceConfiguration;
    SubTouchActiveArea& area = *configuration.subTouchActiveArea;
    SnappingFilter& snapping = *configuration.snappingFilter;
    RequirePair(view.lowerBoundX, view.lowerBoundY, area.min, "Lower Bound X", "Lower Bound Y", CheckAndPopulateVec2);
    RequirePair(view.upperBoundX, view.upperBoundY, area.max, "Upper Bound X", "Upper Bound Y", CheckAndPopulateVec2);
    RequirePair(view.offsetX, view.offsetY, area.offset, "Offset X", "Offset Y", CheckAndPopulateVec2);
    RequirePair(view.hidDisplaySizeX, view.hidDisplaySizeY, configuration.hidDisplaySize, "HID Display Size X",
                "HID Display Size Y", CheckAndPopulateVec2);
    RequirePair(view.snappingLeftInner, view.snappingLeftOuter, snapping.left, "Snapping Filter Left Inner",
                "Snapping Filter Left Outer", CheckAndPopulateSnappingDistance);
    RequirePair(view.snappingRightInner, view.snappingRightOuter, snapping.right, "Snapping Filter Right Inner",
                "Snapping Filter Right Outer", CheckAndPopulateSnappingDistance);
    RequirePair(view.snappingTopInner, view.snappingTopOuter, snapping.top, "Snapping Filter Top Inner",
                "Snapping Filter Top Outer", CheckAndPopulateSnappingDistance);
    RequirePair(view.snappingBottomInner, view.snappingBottomOuter, snapping.bottom, "Snapping Filter Bottom Inner",
                "Snapping Filter Bottom Outer", CheckAndPopulateSnappingDistance);
}

// ---------------------------------------------------------------------------------------------------------
// Record to page

void ViewUtility::SetViewParameters(ViewParameters& view, const Parameters& parameters)
{
    ShowNumber(view.fingerFrequency, parameters.fingerFrequency);
    ShowNumber(view.idleFrequency, parameters.idleFrequency);
    ShowNumber(view.i2cAddress, parameters.i2cAddress);
    ShowOnOff(view.systemEnabled, parameters.systemEnabled);
    IfPresent(parameters.operationMode, [&](const OperationMode& mode) {
        ShowOnOff(view.detection, mode.detection);
        ShowOnOff(view.detectionHid, mode.detectionHid);
    });
    IfPresent(parameters.deviceConfiguration,
              [&](const DeviceConfiguration& configuration) { ShowDeviceConfiguration(view, configuration); });
    SelectScanningRange(view, parameters);
}

void ViewUtility::ShowDeviceConfiguration(ViewParameters& view, const DeviceConfiguration& configuration)
{
    ShowNumber(view.numberOfReportedTouches, configuration.numberOfReportedTouches);
    ShowOnOff(view.reflectiveEdgeFilter, configuration.reflectiveEdge);
    ShowVec2(view.hidDisplaySizeX, view.hidDisplaySizeY, configuration.hidDisplaySize);
    IfPresent(configuration.subTouchActiveArea, [&](const SubTouchActiveArea& area) {
        ShowVec2(view.lowerBoundX, view.lowerBoundY, area.min);
        ShowVec2(view.upperBoundX, view.upperBoundY, area.max);
        ShowVec2(view.offsetX, view.offsetY, area.offset);
        ShowOnOff(view.reverseX, area.reverseX);
        ShowOnOff(view.reverseY, area.reverseY);
        ShowOnOff(view.flipXY, area.flipXY);
    });
    IfPresent(configuration.sizeRestriction, [&](const SizeRestriction& size) {
        ShowNumber(view.minSize, size.minSize);
        ShowNumber(view.maxSize, size.maxSize);
        ShowOnOff(view.maxSizeEnabled, size.maxSizeEnabled);
        ShowOnOff(view.minSizeEnabled, size.minSizeEnabled);
    });
    IfPresent(configuration.floatingProtection, [&](const FloatingProtection& floating) {
        ShowNumber(view.floatingProtectionTime, floating.time);
        ShowOnOff(view.floatingProtectionEnabled, floating.enabled);
    });
    IfPresent(configuration.clickOnTouch, [&](const ClickOnTouch& click) {
        ShowNumber(view.timeToUp, click.timeToUp);
        ShowNumber(view.distance, click.distance);
        ShowOnOff(view.clickOnTouchEnabled, click.enabled);
    });
    IfPresent(configuration.snappingFilter, [&](const SnappingFilter& snapping) {
        ShowSnappingDistance(view.snappingLeftInner, view.snappingLeftOuter, snapping.left);
        ShowSnappingDistance(view.snappingRightInner, view.snappingRightOuter, snapping.right);
        ShowSnappingDistance(view.snappingTopInner, view.snappingTopOuter, snapping.top);
        ShowSnappingDistance(view.snappingBottomInner, view.snappingBottomOuter, snapping.bottom);
        ShowOnOff(view.snappingFilterEnabled, snapping.enabled);
    });
    IfPresent(configuration.doubleClickPrevention, [&](const DoubleClickPrevention& prevention) {
        ShowNumber(view.preventionTime, prevention.preventionTime);
        ShowNumber(view.preventionRadius, prevention.preventionRadius);
        ShowOnOff(view.doubleClickPreventionEnabled, prevention.enabled);
    });
}

// Selects the entry whose text is exactly the stored peak count's range; without such an entry the list
// shows no selection, which reads back as not set.
void ViewUtility::SelectScanningRange(ViewParameters& view, const Parameters& parameters)
{
    if (!parameters.geometry || !parameters.geometry->peakCount) {
        return;
    }
    const QString range = QString::number(Utility::GetRangeFromPeakCount(*parameters.geometry->peakCount));
    view.scanningRange->setCurrentIndex(view.scanningRange->findText(range, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

// ---------------------------------------------------------------------------------------------------------
// Clearing, copying and the scanning-range list

void ViewUtility::ClearViewParameters(ViewParameters& view)
{
    view.scanningRange->clear();
    for (QComboBox* ViewParameters::*member : onOffMembers) {
        (view.*member)->setCurrentIndex(0);
    }
    for (QLineEdit* ViewParameters::*member : lineEditMembers) {
        (view.*member)->clear();
    }
}

void ViewUtility::CopyViewParameters(ViewParameters& from, ViewParameters& to)
{
    to.scanningRange->setCurrentIndex(from.scanningRange->currentIndex());
    for (QComboBox* ViewParameters::*member : onOffMembers) {
        (to.*member)->setCurrentIndex((from.*member)->currentIndex());
    }
    for (QLineEdit* ViewParameters::*member : lineEditMembers) {
        (to.*member)->setText((from.*member)->text());
    }
}

QMap<int, int> ViewUtility::GetPossiblePeakCountAndRanges(const Parameters& parameters)
{
    QMap<int, int> ranges;
    if (parameters.geometry && parameters.geometry->sourceCount) {
        for (const auto& [range, peakCount] :
             Utility::GetPossiblePeakCountAndRelativeHeights(*parameters.geometry->sourceCount)) {
            ranges.insert(range, peakCount);
        }
    }
    return ranges;
}

void ViewUtility::UpdateScanningRange(ViewParameters& view, const QMap<int, int>& ranges, const Parameters& parameters)
{
    view.scanningRange->clear();
    view.scanningRange->addItem(QString());
    for (const int range : ranges.keys()) {
        view.scanningRange->addItem(QString::number(range));
    }
    SelectScanningRange(view, parameters);
}
