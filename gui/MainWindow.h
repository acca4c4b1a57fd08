#pragma once

#include "core/Parameters.h"
#include "gui/GuiTypes.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class GuiModel;
class MainSection;
class ParameterSection;
class ParameterVisualizerSection;
class QAction;
class QCloseEvent;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QMenu;
class QProgressDialog;
class QScrollArea;
class QTabWidget;
class QToolBar;

// The desktop application's one window: the "Firmware" and "Parameters" tabs (the visualizer stands inside
// the parameter tab, right of the fields), a toolbar with the device list and the current device's firmware
// version and MCU identifier, the "Sensor" and "Help" menus and a logo in the status bar.
//
// The window owns GuiModel, and through it the application model. Every slot runs on the GUI thread; the
// model's signals from the core's threads arrive queued. The device search runs from the end of the
// constructor until the destructor, which first asks every sensor in configuration mode to leave it.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Checks the file as the firmware to write, as if it had been chosen in the dialog; empty does nothing.
    void SetFirmwareFile(const QString& path);

signals:
    void ResizeTheWindow();

public slots:
    // Fits the window to the current tab.
    void ResizeWindow();

    void OnLeaveConfigurationMode();
    void OnOpenFirmwareFile();
    void OnWriteFirmware();
    void OnConfigureParameters();
    void OnDeviceSelected(int index);
    void OnReadParameters();
    void OnSaveToJson();
    void OnWriteParameters();
    void OnLoadParametersJson();
    void OnClearParameters();
    void OnOpenParameterVisualizer();
    void OnAboutClicked();
    void OnTroubleshootingClicked();
    void OnParameterDocumentationActionClicked();
    void OnVisitSupportSiteActionClicked();
    void OnVisitMorvelActionClicked();
    void OnInstallDfuDriverClicked();

    void OnNewDevice(QString text, QString name, bool inDfu);
    void OnDeviceRemoved(QString name);
    void OnWriteProgress(int percent);
    void OnWriteFirmwareFinished();
    void OnUpdateDeviceInformation(GuiTypes::ListDeviceItem item);
    void OnClearDeviceInformation();
    void OnUpdateRParameters(Parameters& parameters);
    void OnUpdateWParameters(Parameters& parameters);
    void OnPopInfoMessage(bool info, QString title, QString text);
    void OnPopWriteProgressDialog(QString text);
    void OnUpdateFirmwareFileInformation(bool overwrites, QString& path);
    void OnWriteFirmwareStarted();
    void OnWriteFirmwareFailed();
    void OnBeginReadParameters();
    void OnBeginWriteParameters();
    void OnLeaveConfigurationModeResult(bool ok);

    void OnRotateSensor();
    void OnFlipSensor();
    void OnTAALineEditTextValueChanged(const QString& text);
    void OnTAAOffsetLineEditTextValueChanged(const QString& text);
    void OnTAAComboBoxCurrentTextChanged(const QString& text);

protected:
    // A close while a firmware write runs is refused with a message: the write must end first.
    void closeEvent(QCloseEvent* event) override;

private:
    void InitPages();
    void InitToolbar();
    void InitMenus();
    void InitSections();
    void SetDeviceInformation();
    void WidenFirmwarePageToToolbar();
    void AddLogo();
    void CreateConnections();
    void ConnectPages();
    void ConnectModel();
    void ConnectVisualizer();

    QString GetLastOpenedPathDirectory();
    QString GetOpenPathFromFileDialog(const QString& filter);
    QString GetSavePathFromFileDialog(const QString& filter);
    void InitiateWriteProgressDialog(const QString& text);
    void UpdateCurrentDevice();
    void UpdateParameterInputFields();
    // Builds a record from the page's fields and hands it on; a TpError::Exception is shown under "Error".
    void WithPageParameters(const std::function<void(Parameters&)>& use);
    void ShowParameters(Parameters& parameters);
    void SetWriteState(bool writing);

    QMenu* helpMenu = nullptr;
    QMenu* sensorMenu = nullptr;
    QHBoxLayout* firmwarePageLayout = nullptr;
    QHBoxLayout* parameterPageLayout = nullptr;
    QHBoxLayout* visualizerPageLayout = nullptr;
    QScrollArea* scrollArea = nullptr;
    std::unique_ptr<QWidget> firmwarePage;
    std::unique_ptr<QWidget> parameterPage;
    std::unique_ptr<QWidget> visualizerPage;
    std::unique_ptr<ParameterSection> parameterSection;
    std::unique_ptr<MainSection> mainSection;
    std::unique_ptr<ParameterVisualizerSection> visualizerSection;
    std::unique_ptr<GuiModel> guiModel;
    bool visualizerVisible = false;
    QProgressDialog* progressDialog = nullptr;
    QString lastOpenedPath;
    bool writeInProgress = false;
    bool closing = false;
    QAction* aboutAction = nullptr;
    QAction* troubleshootingAction = nullptr;
    QAction* parameterDocumentationAction = nullptr;
    QAction* visitSupportSiteAction = nullptr;
    QAction* visitMorvelAction = nullptr;
    QAction* leaveConfigurationModeAction = nullptr;
    QAction* installDfuDriversAction = nullptr;
    QLabel* firmwareVersionCaption = nullptr;
    QLabel* mcuIdCaption = nullptr;
    QLabel* firmwareVersionLabel = nullptr;
    QLabel* mcuIdLabel = nullptr;
    QComboBox* deviceComboBox = nullptr;
    QToolBar* sensorToolbar = nullptr;
    QTabWidget* tabWidget = nullptr;
};
