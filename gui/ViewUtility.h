#pragma once

#include "core/Parameters.h"
#include "gui/GuiTypes.h"

#include <QMap>

#include <optional>

class QComboBox;
class QLineEdit;

// Converts between the parameter page's input widgets and a Parameters record. A field of the page is set
// when its widget is enabled and holds something: a line edit with text, an on/off box or the scanning-range
// list at an entry after the empty first one. A record built from the page carries exactly the set fields.
class ViewUtility {
public:
    ViewUtility() = delete;

    // On/off boxes: index 0 is empty (not set), 1 is "On", 2 is "Off".
    static void SetOnOffComboBoxValue(QComboBox* box, bool value);
    static bool GetOnOffComboBoxValue(QComboBox* box);

    // A coordinate pair is set when both halves are, left out when neither is; false when only one is.
    static bool CheckAndPopulateVec2(QLineEdit* x, QLineEdit* y, std::optional<Vec2>& out);
    static bool CheckAndPopulateSnappingDistance(QLineEdit* inner, QLineEdit* outer,
                                                 std::optional<SnappingDistance>& out);

    // Shows the record's set values; the widgets of values that are not set keep what they show.
    static void SetViewParameters(GuiTypes::ViewParameters& view, const Parameters& parameters);
    // Replaces the record with one built from the page: every record of the tree present, the set fields
    // filled. Throws TpError::MissingInput, leaving the record unchanged, for the first half-filled pair.
    static void GetParametersFromView(GuiTypes::ViewParameters& view, Parameters& parameters);
    static void ClearViewParameters(GuiTypes::ViewParameters& view);
    static void CopyViewParameters(GuiTypes::ViewParameters& from, GuiTypes::ViewParameters& to);

    // Scanning range (1/10 mm) to peak count for the record's geometry; empty without a source count.
    static QMap<int, int> GetPossiblePeakCountAndRanges(const Parameters& parameters);
    // Refills the scanning-range list with an empty entry and the ranges, and selects the record's range.
    static void UpdateScanningRange(GuiTypes::ViewParameters& view, const QMap<int, int>& ranges,
                                    const Parameters& parameters);

private:
    // Both walk the page's field lists (ParameterSection) and reach the record's members by their schema paths.
    static void ReadLineEdits(GuiTypes::ViewParameters& view, Parameters& parameters);
    static void ReadOnOffFields(GuiTypes::ViewParameters& view, Parameters& parameters);
    static void SelectScanningRange(GuiTypes::ViewParameters& view, const Parameters& parameters);
};
