#include "gui/ViewUtility.h"

#include "core/ParameterFields.h"
#include "core/TpError.h"
#include "core/Utility.h"
#include "gui/ParameterSection.h"

#include <QComboBox>
#include <QLineEdit>

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

using GuiTypes::ViewParameters;

namespace {

constexpr int onIndex = 1;
constexpr int offIndex = 2;

bool IsSet(const QLineEdit* edit) { return edit->isEnabled() && !edit->text().isEmpty(); }

bool IsSet(const QComboBox* box) { return box->isEnabled() && box->currentIndex() > 0; }

// A decimal integer; text that is none counts as 0.
int ToInt(const QLineEdit* edit) { return edit->text().toInt(nullptr, 10); }

using LineEditField = ParameterSection::LineEditField;
using OnOffField = ParameterSection::OnOffField;

// Keeps the low bits of the entered integer in the field's width; the frequencies, signed 16-bit numbers,
// count text outside that range as 0.
template <typename Number>
void ReadNumber(const QLineEdit* edit, std::optional<Number>& field)
{
    if (!IsSet(edit)) {
        return;
    }
    if constexpr (std::is_same_v<Number, std::int16_t>) {
        field = edit->text().toShort(nullptr, 10);
    } else {
        field = static_cast<Number>(ToInt(edit));
    }
}

void ReadOnOff(QComboBox* box, std::optional<bool>& field)
{
    if (IsSet(box)) {
        field = ViewUtility::GetOnOffComboBoxValue(box);
    }
}

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

// The value a page field shows: the half of a pair value that the field's path names (the path walk hands on
// only halves the pair has), any other value whole.
template <typename Value>
int Half(const Value& value, std::string_view half)
{
    if constexpr (IsParameterPair<Value>::value) {
        return value.*ParameterPairHalves<Value>::members[ParameterPairHalf<Value>(half).value()];
    } else {
        return value;
    }
}

std::string InputName(const LineEditField& field)
{
    if (field.inputName != nullptr) {
        return field.inputName;
    }
    const std::string label = field.label;
    return label.substr(0, label.rfind(':'));
}

// The page's field for the second half of the pair whose first half the given field is.
template <typename Value>
const LineEditField& SecondHalf(const LineEditField& first, std::string_view half)
{
    std::string path(first.path);
    path.replace(path.size() - half.size(), half.size(), ParameterPairHalves<Value>::names[1]);
    for (const LineEditField& field : ParameterSection::LineEditFields()) {
        if (field.path == path) {
            return field;
        }
    }
    throw TpError::MissingInput(path);
}

// The pair rule, with the field name that a half-filled pair reports: the half that is not set.
template <typename Value>
void RequirePair(GuiTypes::ViewParameters& view, const LineEditField& first, std::string_view half,
                 std::optional<Value>& out)
{
    const LineEditField& second = SecondHalf<Value>(first, half);
    QLineEdit* firstEdit = view.*first.member;
    QLineEdit* secondEdit = view.*second.member;
    bool complete = false;
    if constexpr (std::is_same_v<Value, Vec2>) {
        complete = ViewUtility::CheckAndPopulateVec2(firstEdit, secondEdit, out);
    } else {
        complete = ViewUtility::CheckAndPopulateSnappingDistance(firstEdit, secondEdit, out);
    }
    if (!complete) {
        throw TpError::MissingInput(InputName(IsSet(firstEdit) ? second : first));
    }
}

}  // namespace

void ViewUtility::SetOnOffComboBoxValue(QComboBox* box, bool value)
{
    box->setCurrentIndex(value ? onIndex : offIndex);
}

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
    EmplaceParameterTables(built);
    ReadLineEdits(view, built);
    ReadOnOffFields(view, built);
    if (IsSet(view.scanningRange)) {
        const int range = view.scanningRange->currentText().toInt(nullptr, 10);
        built.geometry->peakCount = static_cast<std::uint8_t>(Utility::GetPeakCountFromRange(range));
    }
    parameters = std::move(built);
}

// A pair is read at its first half ("x", "inner"), the page's fields in their order.
void ViewUtility::ReadLineEdits(ViewParameters& view, Parameters& parameters)
{
    for (const LineEditField& field : ParameterSection::LineEditFields()) {
        VisitParameterPath(parameters, field.path, [&](auto& member, std::string_view half) {
            using Value = std::decay_t<decltype(*member)>;
            if constexpr (IsParameterPair<Value>::value) {
                if (ParameterPairHalf<Value>(half) == 0) {
                    RequirePair(view, field, half, member);
                }
            } else if constexpr (!std::is_same_v<Value, bool>) {
                ReadNumber(view.*field.member, member);
            }
        });
    }
}

void ViewUtility::ReadOnOffFields(ViewParameters& view, Parameters& parameters)
{
    for (const OnOffField& field : ParameterSection::OnOffFields()) {
        VisitParameterPath(parameters, field.path, [&](auto& member, std::string_view) {
            if constexpr (std::is_same_v<std::decay_t<decltype(member)>, std::optional<bool>>) {
                ReadOnOff(view.*field.member, member);
            }
        });
    }
}

// ---------------------------------------------------------------------------------------------------------
// Record to page

void ViewUtility::SetViewParameters(ViewParameters& view, const Parameters& parameters)
{
    for (const LineEditField& field : ParameterSection::LineEditFields()) {
        VisitParameterPath(parameters, field.path, [&](const auto& member, std::string_view half) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(member)>, std::optional<bool>>) {
                if (member) {
                    (view.*field.member)->setText(QString::number(Half(*member, half)));
                }
            }
        });
    }
    for (const OnOffField& field : ParameterSection::OnOffFields()) {
        VisitParameterPath(parameters, field.path, [&](const auto& member, std::string_view) {
            if constexpr (std::is_same_v<std::decay_t<decltype(member)>, std::optional<bool>>) {
                if (member) {
                    SetOnOffComboBoxValue(view.*field.member, *member);
                }
            }
        });
    }
    SelectScanningRange(view, parameters);
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
    for (const OnOffField& field : ParameterSection::OnOffFields()) {
        (view.*field.member)->setCurrentIndex(0);
    }
    for (const LineEditField& field : ParameterSection::LineEditFields()) {
        (view.*field.member)->clear();
    }
}

void ViewUtility::CopyViewParameters(ViewParameters& from, ViewParameters& to)
{
    to.scanningRange->setCurrentIndex(from.scanningRange->currentIndex());
    for (const OnOffField& field : ParameterSection::OnOffFields()) {
        (to.*field.member)->setCurrentIndex((from.*field.member)->currentIndex());
    }
    for (const LineEditField& field : ParameterSection::LineEditFields()) {
        (to.*field.member)->setText((from.*field.member)->text());
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
