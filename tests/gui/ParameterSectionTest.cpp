#include "GuiTestSupport.h"

#include "core/Serialization.h"
#include "gui/IntRangeValidator.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

const QString unsupportedToolTip = "This parameter is not supported by the selected sensor firmware version.";

std::vector<QLineEdit*> LineEdits(GuiTypes::ViewParameters& v)
{
    return {v.lowerBoundX,
            v.lowerBoundY,
            v.upperBoundX,
            v.upperBoundY,
            v.offsetX,
            v.offsetY,
            v.minSize,
            v.maxSize,
            v.hidDisplaySizeX,
            v.hidDisplaySizeY,
            v.numberOfReportedTouches,
            v.fingerFrequency,
            v.idleFrequency,
            v.floatingProtectionTime,
            v.timeToUp,
            v.distance,
            v.i2cAddress,
            v.snappingLeftInner,
            v.snappingLeftOuter,
            v.snappingRightInner,
            v.snappingRightOuter,
            v.snappingTopInner,
            v.snappingTopOuter,
            v.snappingBottomInner,
            v.snappingBottomOuter,
            v.preventionTime,
            v.preventionRadius};
}

std::vector<QComboBox*> OnOffBoxes(GuiTypes::ViewParameters& v)
{
    return {v.reverseX,
            v.reverseY,
            v.flipXY,
            v.reflectiveEdgeFilter,
            v.maxSizeEnabled,
            v.minSizeEnabled,
            v.floatingProtectionEnabled,
            v.clickOnTouchEnabled,
            v.systemEnabled,
            v.snappingFilterEnabled,
            v.doubleClickPreventionEnabled,
            v.detection,
            v.detectionHid};
}

std::vector<QWidget*> AllFields(GuiTypes::ViewParameters& v)
{
    std::vector<QWidget*> fields;
    for (QLineEdit* edit : LineEdits(v)) {
        fields.push_back(edit);
    }
    fields.push_back(v.scanningRange);
    for (QComboBox* box : OnOffBoxes(v)) {
        fields.push_back(box);
    }
    return fields;
}

// Types the text into the field and ends the editing with Return, as a user does.
QString TypeAndFinish(QLineEdit* edit, const QString& text)
{
    edit->clear();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    return edit->text();
}

// The text of the label standing left of a widget in its group box's grid.
QString LabelOf(QWidget* field)
{
    auto* grid = qobject_cast<QGridLayout*>(field->parentWidget()->layout());
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(field), &row, &column, &rowSpan, &columnSpan);
    return qobject_cast<QLabel*>(grid->itemAtPosition(row, column - 1)->widget())->text();
}

QString GroupOf(QWidget* field) { return qobject_cast<QGroupBox*>(field->parentWidget())->title(); }

// The application's font for as long as the object lives; the pages built meanwhile take it.
class ApplicationFont {
public:
    explicit ApplicationFont(const QFont& font) : previous(QApplication::font()) { QApplication::setFont(font); }
    ~ApplicationFont() { QApplication::setFont(previous); }
    ApplicationFont(const ApplicationFont&) = delete;
    ApplicationFont& operator=(const ApplicationFont&) = delete;

private:
    QFont previous;
};

// The font that Qt gives a program on a plain X display without desktop settings (as under Xvfb). The
// offscreen platform of the tests has a larger one of its own, 12 points.
QFont DesktopDefaultFont() { return QFont("Sans Serif", 9); }
constexpr int offscreenDefaultPointSize = 12;

// The page in a window of its own at its natural size, as the main window shows it; its labels once laid out.
std::vector<QLabel*> ShownLabels(PlacedParameterPage& page)
{
    page.host->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(page.host.get()));
    page.host->layout()->activate();
    const QList<QLabel*> labels = page.host->findChildren<QLabel*>();
    return {labels.begin(), labels.end()};
}

// The size that the label's text takes within the label's width, wrapped if the label wraps.
QSize TextSize(const QLabel* label)
{
    const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
    return label->fontMetrics().boundingRect(label->contentsRect(), flags, label->text()).size();
}

void ExpectBoxesKeepToTheirWidth(PlacedParameterPage& page)
{
    for (QGroupBox* box : page.host->findChildren<QGroupBox*>()) {
        EXPECT_LE(box->width(), 420) << box->title().toStdString();
    }
}

class ParameterSectionTest : public ::testing::Test {
protected:
    std::vector<QWidget*> EnabledFields()
    {
        std::vector<QWidget*> enabled;
        for (QWidget* field : AllFields(view)) {
            if (field->isEnabled()) {
                enabled.push_back(field);
            }
        }
        return enabled;
    }

    // Every field carries the tool tip that matches its state.
    void ExpectToolTipsFollowTheEnabledState()
    {
        for (QWidget* field : AllFields(view)) {
            EXPECT_EQ(field->toolTip(), field->isEnabled() ? QString() : unsupportedToolTip)
                << field->objectName().toStdString();
        }
    }

    PlacedParameterPage page;
    ParameterSection& section = page.section;
    GuiTypes::ViewParameters& view = page.view;
};

TEST_F(ParameterSectionTest, TheHandleRecordHoldsFortyOneDistinctWidgets)
{
    const std::vector<QWidget*> fields = AllFields(view);
    const std::set<QWidget*> distinct(fields.begin(), fields.end());
    EXPECT_EQ(fields.size(), 41U);
    EXPECT_EQ(distinct.size(), 41U);
    EXPECT_EQ(distinct.count(nullptr), 0U);
    EXPECT_EQ(view.scanningRange->count(), 0);
}

TEST_F(ParameterSectionTest, EveryOnOffBoxOffersTheEmptyEntryOnAndOffAndStartsEmpty)
{
    for (QComboBox* box : OnOffBoxes(view)) {
        ASSERT_EQ(box->count(), 3);
        EXPECT_EQ(box->itemText(0), "");
        EXPECT_EQ(box->itemText(1), "On");
        EXPECT_EQ(box->itemText(2), "Off");
        EXPECT_EQ(box->currentIndex(), 0);
    }
}

TEST_F(ParameterSectionTest, EveryLineEditHasItsOwnRangeValidator)
{
    std::set<const QValidator*> validators;
    for (QLineEdit* edit : LineEdits(view)) {
        const auto* validator = dynamic_cast<const IntRangeValidator*>(edit->validator());
        ASSERT_NE(validator, nullptr);
        validators.insert(validator);
    }
    EXPECT_EQ(validators.size(), 27U);

    const auto range = [](QLineEdit* edit) {
        const auto* validator = static_cast<const QIntValidator*>(edit->validator());
        return std::make_pair(validator->bottom(), validator->top());
    };
    EXPECT_EQ(range(view.lowerBoundX), std::make_pair(36, 32767));
    EXPECT_EQ(range(view.upperBoundY), std::make_pair(0, 32767));
    EXPECT_EQ(range(view.numberOfReportedTouches), std::make_pair(0, 10));
    EXPECT_EQ(range(view.idleFrequency), std::make_pair(0, 1000));
    EXPECT_EQ(range(view.i2cAddress), std::make_pair(0, 127));
    EXPECT_EQ(range(view.snappingBottomOuter), std::make_pair(0, 65535));
    EXPECT_EQ(range(view.preventionRadius), std::make_pair(0, 65535));
}

TEST_F(ParameterSectionTest, NumbersOutsideAFieldsRangeAreClampedWhenEditingEnds)
{
    EXPECT_EQ(TypeAndFinish(view.lowerBoundX, "5"), "36");
    EXPECT_EQ(TypeAndFinish(view.upperBoundX, "40000"), "32767");
    EXPECT_EQ(TypeAndFinish(view.numberOfReportedTouches, "11"), "10");
    EXPECT_EQ(TypeAndFinish(view.i2cAddress, "128"), "127");
    EXPECT_EQ(TypeAndFinish(view.fingerFrequency, "1001"), "1000");
    EXPECT_EQ(TypeAndFinish(view.distance, "1234"), "1234");
    EXPECT_EQ(TypeAndFinish(view.timeToUp, ""), "");
}

TEST_F(ParameterSectionTest, LettersAndMinusSignsAreRefusedWhileTyping)
{
    EXPECT_EQ(TypeAndFinish(view.offsetX, "-4a2"), "42");
}

TEST(IntRangeValidatorTest, FixUpClampsToTheNearestBoundAndKeepsEmptyText)
{
    const IntRangeValidator validator(36, 32767);
    const auto fixed = [&validator](QString text) {
        validator.fixup(text);
        return text;
    };
    EXPECT_EQ(fixed("5"), "36");
    EXPECT_EQ(fixed("99999"), "32767");
    EXPECT_EQ(fixed("500"), "500");
    EXPECT_EQ(fixed(""), "");
    EXPECT_EQ(fixed("x"), "36");  // no number counts as 0
}

TEST_F(ParameterSectionTest, FieldsStandInTheirGroupsBesideTheirLabels)
{
    EXPECT_EQ(GroupOf(view.lowerBoundX), "Touch Active Area");
    EXPECT_EQ(LabelOf(view.lowerBoundX), "Lower Bound X:");
    EXPECT_EQ(GroupOf(view.i2cAddress), "Miscellaneous Settings");
    EXPECT_EQ(LabelOf(view.i2cAddress), QString::fromUtf8("I\u00B2C Address (decimal):"));
    EXPECT_EQ(GroupOf(view.minSizeEnabled), "Restrict Objects Based On Size");
    EXPECT_EQ(LabelOf(view.minSizeEnabled), "Enabled:");
    EXPECT_EQ(GroupOf(view.preventionRadius), "Double Click Prevention");
    EXPECT_EQ(LabelOf(view.preventionRadius), "Radius:");
    EXPECT_EQ(GroupOf(view.snappingBottomOuter), "Snapping Filter");
    EXPECT_EQ(LabelOf(view.snappingBottomOuter), "Bottom Outer:");
    EXPECT_EQ(GroupOf(view.detectionHid), "Operation Mode");
    EXPECT_EQ(GroupOf(view.scanningRange), "Advanced Settings");

    std::set<QString> titles;
    for (QGroupBox* box : page.host->findChildren<QGroupBox*>()) {
        titles.insert(box->title());
        EXPECT_EQ(box->maximumWidth(), 420);
    }
    EXPECT_EQ(titles, (std::set<QString>{"Advanced Settings", "Touch Active Area", "HID Display Size",
                                         "Restrict Objects Based On Size", "Click On Touch", "Frequency Settings",
                                         "Floating Protection", "Miscellaneous Settings", "Snapping Filter",
                                         "Double Click Prevention", "Operation Mode"}));
}

TEST_F(ParameterSectionTest, AllFieldsStartEnabledWithoutToolTip)
{
    EXPECT_EQ(EnabledFields().size(), 41U);
    ExpectToolTipsFollowTheEnabledState();
}

TEST_F(ParameterSectionTest, ASingleSupportedNameEnablesOnlyItsField)
{
    section.UpdateInputElementsBasedOnParameterFields({"fingerFrequency"});

    EXPECT_EQ(EnabledFields(), std::vector<QWidget*>{view.fingerFrequency});
    ExpectToolTipsFollowTheEnabledState();
}

TEST_F(ParameterSectionTest, NamesThatThePageDoesNotKnowLeaveEveryFieldDisabled)
{
    section.UpdateInputElementsBasedOnParameterFields({"FingerFrequency", "geometry.sourceCount", "fingerFrequency.x"});

    EXPECT_TRUE(EnabledFields().empty());
    ExpectToolTipsFollowTheEnabledState();
    section.EnableAllInputFields();
    EXPECT_EQ(EnabledFields().size(), 41U);
    ExpectToolTipsFollowTheEnabledState();
}

TEST_F(ParameterSectionTest, EveryFieldOfTheNewestSchemaIsOnThePage)
{
    section.DisableAllInputFields();
    section.UpdateInputElementsBasedOnParameterFields(
        Serialization::GetInstance().GetAllFieldNamesForParameterVersion(1, 1));

    EXPECT_EQ(EnabledFields().size(), 41U);
}

TEST_F(ParameterSectionTest, AnOlderSchemaDisablesTheFieldsItLacks)
{
    section.UpdateInputElementsBasedOnParameterFields(
        Serialization::GetInstance().GetAllFieldNamesForParameterVersion(1, 0));

    const std::vector<QWidget*> newer = {
        view.snappingLeftInner,   view.snappingLeftOuter,   view.snappingRightInner,
        view.snappingRightOuter,  view.snappingTopInner,    view.snappingTopOuter,
        view.snappingBottomInner, view.snappingBottomOuter, view.snappingFilterEnabled,
        view.preventionTime,      view.preventionRadius,    view.doubleClickPreventionEnabled,
        view.i2cAddress,          view.systemEnabled,       view.detection,
        view.detectionHid};
    for (QWidget* field : AllFields(view)) {
        const bool isNewer = std::find(newer.begin(), newer.end(), field) != newer.end();
        EXPECT_EQ(field->isEnabled(), !isNewer) << field->objectName().toStdString();
    }
    ExpectToolTipsFollowTheEnabledState();
}

TEST_F(ParameterSectionTest, AWriteDisablesOnlyTheFourSensorAndFileButtons)
{
    const std::vector<QPushButton*> switched = {section.GetReadParametersButton(), section.GetWriteParametersButton(),
                                                section.GetLoadParametersFromJsonButton(),
                                                section.GetSaveToJsonButton()};
    section.DisableButtons();
    for (QPushButton* button : switched) {
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
    }
    EXPECT_TRUE(section.GetClearParametersButton()->isEnabled());
    EXPECT_TRUE(section.GetOpenParameterVisualizerButton()->isEnabled());

    section.EnableButtons();
    for (QPushButton* button : switched) {
        EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
    }
}

TEST_F(ParameterSectionTest, TheButtonsCarryTheirTextsAndPictures)
{
    const std::vector<std::pair<QPushButton*, const char*>> buttons = {
        {section.GetReadParametersButton(), "Read Parameters"},
        {section.GetWriteParametersButton(), "Write Parameters"},
        {section.GetLoadParametersFromJsonButton(), "Load From File"},
        {section.GetSaveToJsonButton(), "Save To File"},
        {section.GetClearParametersButton(), "Clear View Parameters"},
        {section.GetOpenParameterVisualizerButton(), "Toggle Visualizer"},
    };
    for (const auto& [button, text] : buttons) {
        EXPECT_EQ(button->text(), text);
        EXPECT_FALSE(button->icon().isNull()) << text;
        EXPECT_EQ(button->iconSize(), QSize(24, 24));
    }
}

// 27 line edits, 13 on/off boxes and the scanning range, each with its label.
constexpr std::size_t labelCount = 41;

TEST(ParameterPageLayoutTest, AtTheDesktopDefaultFontEveryLabelStandsOnOneLineInItsBox)
{
    const ApplicationFont font(DesktopDefaultFont());
    PlacedParameterPage page;
    const std::vector<QLabel*> labels = ShownLabels(page);

    ASSERT_EQ(labels.size(), labelCount);
    for (const QLabel* label : labels) {
        const QFontMetrics metrics = label->fontMetrics();
        EXPECT_LT(label->height(), 2 * metrics.lineSpacing()) << label->text().toStdString();
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width())
            << label->text().toStdString();
    }
    ExpectBoxesKeepToTheirWidth(page);
}

// Three label and field pairs of a row cannot share 420 pixels at a large font: the labels then wrap, whole.
TEST(ParameterPageLayoutTest, AtALargerFontLabelsWrapInsteadOfBeingCut)
{
    QFont large = DesktopDefaultFont();
    large.setPointSize(offscreenDefaultPointSize);
    const ApplicationFont font(large);
    PlacedParameterPage page;
    const std::vector<QLabel*> labels = ShownLabels(page);

    ASSERT_EQ(labels.size(), labelCount);
    const auto wrapped = std::count_if(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->height() >= 2 * label->fontMetrics().lineSpacing();
    });
    EXPECT_GT(wrapped, 0);
    for (const QLabel* label : labels) {
        const QSize text = TextSize(label);
        EXPECT_LE(text.width(), label->contentsRect().width()) << label->text().toStdString();
        EXPECT_LE(text.height(), label->contentsRect().height()) << label->text().toStdString();
    }
    ExpectBoxesKeepToTheirWidth(page);
}

}  // namespace
