#include "gui/ParameterSection.h"

#include "gui/GridLabelWrapper.h"
#include "gui/IntRangeValidator.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>
#include <utility>

using GuiTypes::ViewParameters;

namespace {

const char* const unsupportedFieldToolTip = "This parameter is not supported by the selected sensor firmware version.";
constexpr int groupBoxMaximumWidth = 420;
constexpr int widestValueDigits = 5;
constexpr int lineEditHintCharacters = 17;
constexpr int cursorRoom = 2;
constexpr int boxSideMargin = 1;
constexpr int fieldGap = 2;
constexpr int smallestNumber = 0;
constexpr int largestCoordinate = 32767;
constexpr int largestUnsigned16 = 65535;

// Wide enough for the longest value of any field, five digits, with the cursor behind it. Qt's size hint of a
// line edit is room for 17 'x' plus its frame and margins; only the frame and margins are kept.
int LineEditWidth(const QLineEdit* edit)
{
    const QFontMetrics metrics = edit->fontMetrics();
    const int frame = edit->sizeHint().width() - lineEditHintCharacters * metrics.horizontalAdvance(QLatin1Char('x'));
    return frame + metrics.horizontalAdvance(QString(widestValueDigits, QLatin1Char('0'))) + cursorRoom;
}

// Three label and field pairs share a row of a box no wider than 420 pixels. At the desktop's default font
// (9 points) the widest such row, Touch Active Area's "Reverse X/Reverse Y/Flip XY" under the columns of
// "Lower Bound X:" and "Upper Bound X:", takes 402 pixels of labels and fields and the box's frame 6 more:
// these gaps fill the last 12, so that every label keeps to one line there. A larger font leaves the labels
// to GridLabelWrapper.
void TightenHorizontally(QLayout* layout)
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    layout->getContentsMargins(&left, &top, &right, &bottom);
    layout->setContentsMargins(boxSideMargin, top, boxSideMargin, bottom);
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        grid->setHorizontalSpacing(fieldGap);
    } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
        form->setHorizontalSpacing(fieldGap);
    }
}

}  // namespace

const char* const ParameterSection::scanningRangePath = "geometry.peakCount";

const std::vector<ParameterSection::LineEditField>& ParameterSection::LineEditFields()
{
    using P = ParameterSection;
    using V = ViewParameters;
    static const std::vector<LineEditField> fields = {
        {&V::lowerBoundX, &P::touchActiveAreaBox, "Lower Bound X:", 36, largestCoordinate, 0, 1,
         "deviceConfiguration.subTouchActiveArea.min.x"},
        {&V::lowerBoundY, &P::touchActiveAreaBox, "Lower Bound Y:", smallestNumber, largestCoordinate, 1, 1,
         "deviceConfiguration.subTouchActiveArea.min.y"},
        {&V::upperBoundX, &P::touchActiveAreaBox, "Upper Bound X:", smallestNumber, largestCoordinate, 0, 3,
         "deviceConfiguration.subTouchActiveArea.max.x"},
        {&V::upperBoundY, &P::touchActiveAreaBox, "Upper Bound Y:", smallestNumber, largestCoordinate, 1, 3,
         "deviceConfiguration.subTouchActiveArea.max.y"},
        {&V::offsetX, &P::touchActiveAreaBox, "Offset X:", smallestNumber, largestCoordinate, 3, 1,
         "deviceConfiguration.subTouchActiveArea.offset.x"},
        {&V::offsetY, &P::touchActiveAreaBox, "Offset Y:", smallestNumber, largestCoordinate, 3, 3,
         "deviceConfiguration.subTouchActiveArea.offset.y"},
        {&V::minSize, &P::sizeRestrictionBox, "Min Size:", smallestNumber, largestCoordinate, 0, 3,
         "deviceConfiguration.sizeRestriction.minSize"},
        {&V::maxSize, &P::sizeRestrictionBox, "Max Size:", smallestNumber, largestCoordinate, 1, 3,
         "deviceConfiguration.sizeRestriction.maxSize"},
        {&V::hidDisplaySizeX, &P::hidDisplaySizeBox, "HID Display Size X:", smallestNumber, largestCoordinate, 0, 1,
         "deviceConfiguration.hidDisplaySize.x"},
        {&V::hidDisplaySizeY, &P::hidDisplaySizeBox, "HID Display Size Y:", smallestNumber, largestCoordinate, 0, 3,
         "deviceConfiguration.hidDisplaySize.y"},
        {&V::numberOfReportedTouches, &P::miscellaneousSettingsBox, "Number of Reported Touches:", smallestNumber, 10,
         1, 1, "deviceConfiguration.numberOfReportedTouches"},
        {&V::fingerFrequency, &P::frequencySettingsBox, "Finger Frequency:", smallestNumber, 1000, 0, 1,
         "fingerFrequency"},
        {&V::idleFrequency, &P::frequencySettingsBox, "Idle Frequency:", smallestNumber, 1000, 0, 3, "idleFrequency"},
        {&V::floatingProtectionTime, &P::floatingProtectionBox, "Floating Protection Time:", smallestNumber,
         largestCoordinate, 0, 3, "deviceConfiguration.floatingProtection.time"},
        {&V::timeToUp, &P::clickOnTouchBox, "Time To Up:", smallestNumber, largestCoordinate, 0, 3,
         "deviceConfiguration.clickOnTouch.timeToUp"},
        {&V::distance, &P::clickOnTouchBox, "Distance:", smallestNumber, largestCoordinate, 0, 5,
         "deviceConfiguration.clickOnTouch.distance"},
        {&V::i2cAddress, &P::miscellaneousSettingsBox, "I\u00B2C Address (decimal):", smallestNumber, 127, 3, 1,
         "i2cAddress"},
        {&V::snappingLeftInner, &P::snappingFilterBox, "Left Inner:", smallestNumber, largestUnsigned16, 1, 1,
         "deviceConfiguration.snappingFilter.left.inner", "Snapping Filter Left Inner"},
        {&V::snappingLeftOuter, &P::snappingFilterBox, "Left Outer:", smallestNumber, largestUnsigned16, 1, 3,
         "deviceConfiguration.snappingFilter.left.outer", "Snapping Filter Left Outer"},
        {&V::snappingRightInner, &P::snappingFilterBox, "Right Inner:", smallestNumber, largestUnsigned16, 2, 1,
         "deviceConfiguration.snappingFilter.right.inner", "Snapping Filter Right Inner"},
        {&V::snappingRightOuter, &P::snappingFilterBox, "Right Outer:", smallestNumber, largestUnsigned16, 2, 3,
         "deviceConfiguration.snappingFilter.right.outer", "Snapping Filter Right Outer"},
        {&V::snappingTopInner, &P::snappingFilterBox, "Top Inner:", smallestNumber, largestUnsigned16, 3, 1,
         "deviceConfiguration.snappingFilter.top.inner", "Snapping Filter Top Inner"},
        {&V::snappingTopOuter, &P::snappingFilterBox, "Top Outer:", smallestNumber, largestUnsigned16, 3, 3,
         "deviceConfiguration.snappingFilter.top.outer", "Snapping Filter Top Outer"},
        {&V::snappingBottomInner, &P::snappingFilterBox, "Bottom Inner:", smallestNumber, largestUnsigned16, 4, 1,
         "deviceConfiguration.snappingFilter.bottom.inner", "Snapping Filter Bottom Inner"},
        {&V::snappingBottomOuter, &P::snappingFilterBox, "Bottom Outer:", smallestNumber, largestUnsigned16, 4, 3,
         "deviceConfiguration.snappingFilter.bottom.outer", "Snapping Filter Bottom Outer"},
        {&V::preventionTime, &P::doubleClickPreventionBox, "Time:", smallestNumber, largestUnsigned16, 0, 3,
         "deviceConfiguration.doubleClickPrevention.preventionTime"},
        {&V::preventionRadius, &P::doubleClickPreventionBox, "Radius:", smallestNumber, largestUnsigned16, 0, 5,
         "deviceConfiguration.doubleClickPrevention.preventionRadius"},
    };
    return fields;
}

const std::vector<ParameterSection::OnOffField>& ParameterSection::OnOffFields()
{
    using P = ParameterSection;
    using V = ViewParameters;
    static const std::vector<OnOffField> fields = {
        {&V::reverseX, &P::touchActiveAreaBox, "Reverse X:", 2, 1, true, false,
         "deviceConfiguration.subTouchActiveArea.reverseX"},
        {&V::reverseY, &P::touchActiveAreaBox, "Reverse Y:", 2, 3, true, false,
         "deviceConfiguration.subTouchActiveArea.reverseY"},
        {&V::flipXY, &P::touchActiveAreaBox, "Flip XY:", 2, 5, true, false,
         "deviceConfiguration.subTouchActiveArea.flipXY"},
        {&V::reflectiveEdgeFilter, &P::miscellaneousSettingsBox, "Reflective Edge Filter:", 2, 1, true, false,
         "deviceConfiguration.reflectiveEdge"},
        {&V::maxSizeEnabled, &P::sizeRestrictionBox, "Enabled:", 1, 1, false, false,
         "deviceConfiguration.sizeRestriction.maxSizeEnabled"},
        {&V::minSizeEnabled, &P::sizeRestrictionBox, "Enabled:", 0, 1, false, false,
         "deviceConfiguration.sizeRestriction.minSizeEnabled"},
        {&V::floatingProtectionEnabled, &P::floatingProtectionBox, "Enabled:", 0, 1, false, false,
         "deviceConfiguration.floatingProtection.enabled"},
        {&V::clickOnTouchEnabled, &P::clickOnTouchBox, "Enabled:", 0, 1, true, false,
         "deviceConfiguration.clickOnTouch.enabled"},
        {&V::systemEnabled, &P::miscellaneousSettingsBox, "System Enabled:", 0, 1, true, false, "systemEnabled"},
        {&V::snappingFilterEnabled, &P::snappingFilterBox, "Enabled:", 0, 1, true, false,
         "deviceConfiguration.snappingFilter.enabled"},
        {&V::doubleClickPreventionEnabled, &P::doubleClickPreventionBox, "Enabled:", 0, 1, true, false,
         "deviceConfiguration.doubleClickPrevention.enabled"},
        {&V::detection, &P::operationModeBox, "Detection:", 0, 0, true, true, "operationMode.detection"},
        {&V::detectionHid, &P::operationModeBox, "Detection HID:", 0, 1, true, true, "operationMode.detectionHid"},
    };
    return fields;
}

ParameterSection::ParameterSection(QObject*) : Section(nullptr)
{
    topLayout = new QVBoxLayout();
    columnsLayout = new QHBoxLayout();
    leftColumnLayout = new QVBoxLayout();
    rightColumnLayout = new QVBoxLayout();
    CreateGroupBoxes();
    buttonRowLayout = new QGridLayout();

    FillSection();
    FillButtons();
    AddParameterFieldNamesForInputElements();
    SetToolTipsForInputElements();

    topLayout->addLayout(buttonRowLayout);
    topLayout->addLayout(columnsLayout);
    columnsLayout->addLayout(leftColumnLayout);
    columnsLayout->addLayout(rightColumnLayout);
    // The boxes grow up to their maximum width and the columns keep to the left of whatever room is left, so
    // that the button row above may be wider than the two columns without squeezing its buttons.
    topLayout->setAlignment(columnsLayout, Qt::AlignLeft);
    FillColumns();
}

ParameterSection::~ParameterSection()
{
    viewParameters.reset();
    fieldWidgets.clear();
}

void ParameterSection::CreateGroupBoxes()
{
    const std::pair<QGroupBox * ParameterSection::*, const char*> boxes[] = {
        {&ParameterSection::advancedSettingsBox, "Advanced Settings"},
        {&ParameterSection::touchActiveAreaBox, "Touch Active Area"},
        {&ParameterSection::hidDisplaySizeBox, "HID Display Size"},
        {&ParameterSection::sizeRestrictionBox, "Restrict Objects Based On Size"},
        {&ParameterSection::clickOnTouchBox, "Click On Touch"},
        {&ParameterSection::frequencySettingsBox, "Frequency Settings"},
        {&ParameterSection::floatingProtectionBox, "Floating Protection"},
        {&ParameterSection::miscellaneousSettingsBox, "Miscellaneous Settings"},
        {&ParameterSection::snappingFilterBox, "Snapping Filter"},
        {&ParameterSection::doubleClickPreventionBox, "Double Click Prevention"},
        {&ParameterSection::operationModeBox, "Operation Mode"},
    };
    for (const auto& [member, title] : boxes) {
        this->*member = new QGroupBox(title);
    }
}

void ParameterSection::FillSection()
{
    viewParameters = std::make_unique<ViewParameters>();
    viewParameters->scanningRange = new QComboBox();
    viewParameters->scanningRange->setObjectName("scanningRange");

    auto* advancedLayout = new QFormLayout(advancedSettingsBox);
    TightenHorizontally(advancedLayout);
    for (QGroupBox* box : GridGroupBoxes()) {
        TightenHorizontally(new QGridLayout(box));
    }
    for (QGroupBox* box : GroupBoxes()) {
        box->setMaximumWidth(groupBoxMaximumWidth);
        box->setSizePolicy(QSizePolicy::Expanding, box->sizePolicy().verticalPolicy());
    }
    advancedLayout->addRow("Scanning Range (1/10 mm):", viewParameters->scanningRange);
    AddLineEdits();
    AddOnOffBoxes();
    for (QGroupBox* box : GridGroupBoxes()) {
        GridLabelWrapper::FitIntoMaximumWidth(box);
    }
}

std::vector<QGroupBox*> ParameterSection::GroupBoxes() const
{
    std::vector<QGroupBox*> boxes = GridGroupBoxes();
    boxes.insert(boxes.begin(), advancedSettingsBox);
    return boxes;
}

std::vector<QGroupBox*> ParameterSection::GridGroupBoxes() const
{
    return {touchActiveAreaBox,       sizeRestrictionBox, miscellaneousSettingsBox, clickOnTouchBox,
            frequencySettingsBox,     hidDisplaySizeBox,  floatingProtectionBox,    snappingFilterBox,
            doubleClickPreventionBox, operationModeBox};
}

QGridLayout* ParameterSection::GridOf(QGroupBox* ParameterSection::*group)
{
    return static_cast<QGridLayout*>((this->*group)->layout());
}

void ParameterSection::AddLineEdits()
{
    for (const LineEditField& field : LineEditFields()) {
        auto* edit = new QLineEdit();
        // The rest of the group's narrow width goes to the labels.
        edit->setMaximumWidth(LineEditWidth(edit));
        edit->setObjectName(QString::fromUtf8(field.path));
        // The validator has no parent of its own; the line edit takes it along when it goes.
        auto* validator = new IntRangeValidator(field.bottom, field.top);
        validator->setParent(edit);
        edit->setValidator(validator);
        viewParameters.get()->*field.member = edit;
        QGridLayout* grid = GridOf(field.group);
        grid->addWidget(new QLabel(QString::fromUtf8(field.label)), field.row, field.column - 1);
        grid->addWidget(edit, field.row, field.column);
    }
}

void ParameterSection::AddOnOffBoxes()
{
    for (const OnOffField& field : OnOffFields()) {
        auto* box = new QComboBox();
        box->setObjectName(QString::fromUtf8(field.path));
        box->addItems({QString(), "On", "Off"});
        if (field.fixedSize) {
            box->setFixedSize(box->sizeHint());
        }
        viewParameters.get()->*field.member = box;
        auto* label = new QLabel(QString::fromUtf8(field.label));
        QGridLayout* grid = GridOf(field.group);
        if (field.ownLayout) {
            auto* pair = new QHBoxLayout();
            pair->setSpacing(fieldGap);
            pair->addWidget(label);
            pair->addWidget(box);
            grid->addLayout(pair, field.row, field.column, Qt::AlignLeft);
        } else {
            grid->addWidget(label, field.row, field.column - 1);
            grid->addWidget(box, field.row, field.column);
        }
    }
}

void ParameterSection::FillButtons()
{
    const std::tuple<QPushButton * ParameterSection::*, const char*, const char*> buttons[] = {
        {&ParameterSection::readParametersButton, "Read Parameters", "images/read_parameters.png"},
        {&ParameterSection::writeParametersButton, "Write Parameters", "images/mcu.png"},
        {&ParameterSection::loadFromFileButton, "Load From File", "images/file-settings.png"},
        {&ParameterSection::saveToFileButton, "Save To File", "images/save_icon.png"},
        {&ParameterSection::clearViewParametersButton, "Clear View Parameters", "images/eraser.png"},
        {&ParameterSection::toggleVisualizerButton, "Toggle Visualizer", "images/eye_icon.png"},
    };
    int column = 0;
    for (const auto& [member, text, picture] : buttons) {
        auto* button = new QPushButton(text);
        SetIcon(button, picture);
        this->*member = button;
        buttonRowLayout->addWidget(button, 0, column++);
    }
}

void ParameterSection::AddParameterFieldNamesForInputElements()
{
    for (const LineEditField& field : LineEditFields()) {
        fieldWidgets.emplace(field.path, viewParameters.get()->*field.member);
    }
    fieldWidgets.emplace(scanningRangePath, viewParameters->scanningRange);
    for (const OnOffField& field : OnOffFields()) {
        fieldWidgets.emplace(field.path, viewParameters.get()->*field.member);
    }
}

void ParameterSection::FillColumns()
{
    for (QGroupBox* box : {advancedSettingsBox, touchActiveAreaBox, hidDisplaySizeBox, sizeRestrictionBox,
                           clickOnTouchBox, floatingProtectionBox}) {
        leftColumnLayout->addWidget(box);
    }
    for (QGroupBox* box : {frequencySettingsBox, miscellaneousSettingsBox, operationModeBox, snappingFilterBox,
                           doubleClickPreventionBox}) {
        rightColumnLayout->addWidget(box);
    }
}

QVBoxLayout* ParameterSection::GetTopLayout() { return topLayout; }

void ParameterSection::EnableButtons()
{
    for (QPushButton* button : {readParametersButton, writeParametersButton, loadFromFileButton, saveToFileButton}) {
        button->setEnabled(true);
    }
}

void ParameterSection::DisableButtons()
{
    for (QPushButton* button : {readParametersButton, writeParametersButton, loadFromFileButton, saveToFileButton}) {
        button->setEnabled(false);
    }
}

QPushButton* ParameterSection::GetReadParametersButton() { return readParametersButton; }

QPushButton* ParameterSection::GetWriteParametersButton() { return writeParametersButton; }

QPushButton* ParameterSection::GetLoadParametersFromJsonButton() { return loadFromFileButton; }

QPushButton* ParameterSection::GetSaveToJsonButton() { return saveToFileButton; }

QPushButton* ParameterSection::GetClearParametersButton() { return clearViewParametersButton; }

QPushButton* ParameterSection::GetOpenParameterVisualizerButton() { return toggleVisualizerButton; }

ViewParameters* ParameterSection::GetViewParameters() { return viewParameters.get(); }

void ParameterSection::EnableAllInputFields()
{
    SetAllInputFieldsEnabled(true);
    SetToolTipsForInputElements();
}

void ParameterSection::DisableAllInputFields()
{
    SetAllInputFieldsEnabled(false);
    SetToolTipsForInputElements();
}

void ParameterSection::UpdateInputElementsBasedOnParameterFields(std::vector<std::string> fieldNames)
{
    DisableAllInputFields();
    for (const std::string& name : fieldNames) {
        const auto field = fieldWidgets.find(name);
        if (field != fieldWidgets.end()) {
            field->second->setEnabled(true);
        }
    }
    SetToolTipsForInputElements();
}

void ParameterSection::SetToolTipsForInputElements()
{
    for (const auto& [path, widget] : fieldWidgets) {
        widget->setToolTip(widget->isEnabled() ? QString() : QString(unsupportedFieldToolTip));
    }
}

void ParameterSection::SetAllInputFieldsEnabled(bool enabled)
{
    for (const auto& [path, widget] : fieldWidgets) {
        widget->setEnabled(enabled);
    }
}
