#pragma once

#include "gui/GuiTypes.h"
#include "gui/Section.h"

#include <QVBoxLayout>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;

class QWidget;

// The "Parameters" page: eleven group boxes with one input field per editable parameter and a row of six
// buttons. The values live in the widgets; ViewUtility converts between them and a Parameters record through
// the page's handle record. Every input widget is also registered under the dotted path of its schema field,
// so that the page can enable exactly the fields that the selected sensor's firmware supports.
// The page object has no Qt parent; its widgets belong to the window once the top layout is placed.
class ParameterSection : public Section {
    Q_OBJECT

public:
    // The argument is not used as parent: the window deletes the page itself.
    explicit ParameterSection(QObject* parent = nullptr);
    ~ParameterSection() override;

    QVBoxLayout* GetTopLayout() override;
    // Only "Read Parameters", "Write Parameters", "Load From File" and "Save To File" are switched.
    void EnableButtons() override;
    void DisableButtons() override;

    QPushButton* GetReadParametersButton();
    QPushButton* GetWriteParametersButton();
    QPushButton* GetLoadParametersFromJsonButton();
    QPushButton* GetSaveToJsonButton();
    QPushButton* GetClearParametersButton();
    QPushButton* GetOpenParameterVisualizerButton();
    GuiTypes::ViewParameters* GetViewParameters();

    void EnableAllInputFields();
    void DisableAllInputFields();
    // Enables exactly the fields whose schema paths the list names; names without a field are ignored.
    void UpdateInputElementsBasedOnParameterFields(std::vector<std::string> fieldNames);
    // Disabled fields say that the sensor's firmware does not support them; enabled ones have no tool tip.
    void SetToolTipsForInputElements();

    // How one field of the page is built: its handle, group box, label, place and schema path. ViewUtility
    // walks the same lists to move values between the widgets and a record.
    struct LineEditField {
        QLineEdit* GuiTypes::ViewParameters::*member;
        QGroupBox* ParameterSection::*group;
        const char* label;
        int bottom;
        int top;
        int row;
        int column;
        const char* path;
        const char* inputName = nullptr;  // the name a missing-input message gives; the label without ':' if none
    };
    struct OnOffField {
        QComboBox* GuiTypes::ViewParameters::*member;
        QGroupBox* ParameterSection::*group;
        const char* label;
        int row;
        int column;
        bool fixedSize;  // fixed to the box's size hint instead of stretching with its cell
        bool ownLayout;  // label and box share a horizontal layout placed in the grid cell
        const char* path;
    };
    static const std::vector<LineEditField>& LineEditFields();
    static const std::vector<OnOffField>& OnOffFields();

private:
    static const char* const scanningRangePath;

    void CreateGroupBoxes();
    void FillSection();
    void AddLineEdits();
    void AddOnOffBoxes();
    void FillButtons();
    void AddParameterFieldNamesForInputElements();
    void FillColumns();
    void SetAllInputFieldsEnabled(bool enabled);
    QGridLayout* GridOf(QGroupBox* ParameterSection::*group);
    std::vector<QGroupBox*> GroupBoxes() const;
    // Every group box but "Advanced Settings", which has a form layout.
    std::vector<QGroupBox*> GridGroupBoxes() const;

    QGroupBox* advancedSettingsBox = nullptr;
    QGroupBox* touchActiveAreaBox = nullptr;
    QGroupBox* sizeRestrictionBox = nullptr;
    QGroupBox* miscellaneousSettingsBox = nullptr;
    QGroupBox* clickOnTouchBox = nullptr;
    QGroupBox* frequencySettingsBox = nullptr;
    QGroupBox* hidDisplaySizeBox = nullptr;
    QGroupBox* floatingProtectionBox = nullptr;
    QGroupBox* snappingFilterBox = nullptr;
    QGroupBox* doubleClickPreventionBox = nullptr;
    QGroupBox* operationModeBox = nullptr;
    std::unique_ptr<GuiTypes::ViewParameters> viewParameters;
    QVBoxLayout* topLayout = nullptr;
    QHBoxLayout* columnsLayout = nullptr;
    QVBoxLayout* leftColumnLayout = nullptr;
    QVBoxLayout* rightColumnLayout = nullptr;
    QGridLayout* buttonRowLayout = nullptr;
    QPushButton* writeParametersButton = nullptr;
    QPushButton* readParametersButton = nullptr;
    QPushButton* loadFromFileButton = nullptr;
    QPushButton* saveToFileButton = nullptr;
    QPushButton* clearViewParametersButton = nullptr;
    QPushButton* toggleVisualizerButton = nullptr;
    std::map<std::string, QWidget*> fieldWidgets;
};
