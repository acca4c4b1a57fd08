#include "gui/MainWindow.h"

#include "core/ApplicationInformation.h"
#include "core/TpError.h"
#include "core/Utility.h"
#include "gui/GuiModel.h"
#include "gui/MainSection.h"
#include "gui/MakerLinks.h"
#include "gui/ParameterSection.h"
#include "gui/ParameterVisualizerSection.h"
#include "gui/ViewUtility.h"
#include "gui/WholeLineMessageBox.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QSize>
#include <QToolBar>
#include <QUrl>

#include <algorithm>

namespace {

const char* const windowStyleSheet =
    " QPushButton { background-color: white; border:1px solid black; min-width: 50px; height:30px; "
    "border-radius:2px;} QPushButton:hover { background-color: #cceeff; } QPushButton:pressed:focus { "
    "background-color: #66ccff; } QMainWindow { background-color: white; } QStatusBar::item { border: none; } ";
const char* const leaveFailedText =
    "Failed to leave configuration mode. Please physically disconnect and connect the sensor or try again.";
const char* const writeRunningText =
    "A firmware write is in progress. Please wait until it has finished before closing Tarnix Programmer.";
const char* const troubleshootingText =
    "If writing a firmware fails or the sensor stops working check the following:\n\n"
    "        * Check that all connectors are plugged in correctly.\n"
    "        * Unplug the sensor, press and hold the black button on\n"
    "            the interfaceboard while plugging the sensor back in.\n"
    "        * Try another USB port, preferably connected directly with \n"
    "            the computer without any hub or docking station between.\n"
    "\n\n"
    "If the problem persists, refer to: ";
constexpr int firmwareTab = 0;
constexpr int parametersTab = 1;
constexpr int physicalSensorDepth = 150;
constexpr int mcuIdentifierLength = 24;
// How much wider than the firmware page, and than the toolbar, the window is on the "Firmware" tab.
constexpr int pageWindowMargin = 5;
constexpr int toolbarWindowMargin = 10;

template <typename Widget>
Widget* Named(Widget* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QAction* NamedAction(QObject* parent, const char* name, const QString& text)
{
    auto* action = new QAction(text, parent);
    action->setObjectName(name);
    return action;
}

void OpenLink(const char* address) { QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode)); }

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowIcon(QIcon(QPixmap("images/windowicon.png")));
    InitPages();
    InitToolbar();
    InitMenus();
    InitSections();
    SetDeviceInformation();
    AddLogo();
    setStyleSheet(windowStyleSheet);
    firmwarePageLayout->setSizeConstraint(QLayout::SetFixedSize);
    parameterPageLayout->setSizeConstraint(QLayout::SetFixedSize);
    show();
    guiModel = std::make_unique<GuiModel>();
    CreateConnections();
    ResizeWindow();
    guiModel->StartSearchThread();
}

// Sensors left in configuration mode are asked to leave it while the search still runs, so that the model
// knows them; then the search ends and the model is deleted with its threads joined. A write that still runs
// (only possible when the window is deleted without being closed) is waited for first: no sensor may be told
// to leave configuration mode in the middle of its firmware write.
MainWindow::~MainWindow()
{
    closing = true;
    if (writeInProgress) {
        guiModel->EndDownloadThread();
    }
    guiModel->LeaveDfuModeOnAllDevices();
    guiModel->EndSearch();
    guiModel.reset();
    visualizerSection.reset();
    mainSection.reset();
    parameterSection.reset();
    visualizerPage.reset();
    parameterPage.reset();
    firmwarePage.reset();
}

void MainWindow::SetFirmwareFile(const QString& path)
{
    if (!path.isEmpty()) {
        guiModel->CheckFirmwareFile(path);
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (writeInProgress) {
        event->ignore();
        WholeLineMessageBox::Warning(this, "Warning", writeRunningText);
        return;
    }
    QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------------------------------------------------
// Building the window

void MainWindow::InitPages()
{
    scrollArea = Named(new QScrollArea(this), "scrollArea");
    firmwarePage = std::make_unique<QWidget>(this);
    parameterPage = std::make_unique<QWidget>();
    visualizerPage = std::make_unique<QWidget>();
    tabWidget = Named(new QTabWidget(scrollArea), "tabWidget");
    setCentralWidget(scrollArea);
    firmwarePageLayout = new QHBoxLayout();
    parameterPageLayout = new QHBoxLayout(parameterPage.get());
    visualizerPageLayout = new QHBoxLayout(visualizerPage.get());
    firmwarePage->setLayout(firmwarePageLayout);
    tabWidget->addTab(firmwarePage.get(), "Firmware");
    tabWidget->addTab(parameterPage.get(), "Parameters");
    scrollArea->setWidget(tabWidget);
    scrollArea->setWidgetResizable(true);
}

void MainWindow::InitToolbar()
{
    sensorToolbar = Named(addToolBar("Sensor toolbar"), "sensorToolbar");
    sensorToolbar->setMovable(false);
    auto* container = new QWidget();
    auto* grid = new QGridLayout(container);
    grid->addWidget(new QLabel("Sensors"), 0, 0);
    deviceComboBox = Named(new QComboBox(), "deviceComboBox");
    deviceComboBox->setMinimumWidth(300);
    grid->addWidget(deviceComboBox, 1, 0, 1, 2);
    sensorToolbar->addWidget(container);
    leaveConfigurationModeAction =
        sensorToolbar->addAction(QIcon(QPixmap("images/leave_dfu_mode.png")), "Leave Configuration Mode");
    leaveConfigurationModeAction->setObjectName("leaveConfigurationModeAction");
    leaveConfigurationModeAction->setEnabled(false);
}

void MainWindow::InitMenus()
{
    sensorMenu = menuBar()->addMenu("Sensor");
    sensorMenu->addAction(leaveConfigurationModeAction);
    helpMenu = menuBar()->addMenu("Help");
    troubleshootingAction = NamedAction(this, "troubleshootingAction", "Troubleshooting");
    parameterDocumentationAction = NamedAction(this, "parameterDocumentationAction", "Parameter Documentation");
    installDfuDriversAction = NamedAction(this, "installDfuDriversAction", "Install DFU Drivers");
    visitSupportSiteAction = NamedAction(this, "visitSupportSiteAction", "Visit Support Site");
    visitMorvelAction = NamedAction(this, "visitMorvelAction", "Visit Morvel");
    aboutAction = NamedAction(this, "aboutAction", "About");
    helpMenu->addActions({troubleshootingAction, parameterDocumentationAction, installDfuDriversAction,
                          visitSupportSiteAction, visitMorvelAction, aboutAction});
}

void MainWindow::InitSections()
{
    parameterSection = std::make_unique<ParameterSection>();
    mainSection = std::make_unique<MainSection>();
    visualizerSection = std::make_unique<ParameterVisualizerSection>(nullptr, visualizerPage.get());
    firmwarePageLayout->addLayout(mainSection->GetTopLayout());
    parameterPageLayout->addLayout(parameterSection->GetTopLayout());
    visualizerPageLayout->addLayout(visualizerSection->GetTopLayout());
    visualizerPageLayout->update();
    visualizerPageLayout->activate();
    parameterPageLayout->addWidget(visualizerPage.get());
    parameterPageLayout->update();
    parameterPageLayout->activate();
    visualizerPage->setVisible(visualizerVisible);
}

void MainWindow::SetDeviceInformation()
{
    firmwareVersionCaption = new QLabel("Device Firmware Version: ");
    mcuIdCaption = new QLabel("Device MCU Identifier: ");
    firmwareVersionLabel = Named(new QLabel(), "firmwareVersionLabel");
    mcuIdLabel = Named(new QLabel(), "mcuIdLabel");
    firmwareVersionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mcuIdLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Room for a full identifier from the start, so that the toolbar never hides it behind its extension.
    mcuIdLabel->setMinimumWidth(mcuIdLabel->fontMetrics().horizontalAdvance(QString(mcuIdentifierLength, 'D')));
    auto* container = new QWidget();
    auto* form = new QFormLayout(container);
    form->addRow(firmwareVersionCaption, firmwareVersionLabel);
    form->addRow(mcuIdCaption, mcuIdLabel);
    sensorToolbar->addWidget(container);
    sensorToolbar->setMinimumWidth(660);
    WidenFirmwarePageToToolbar();
}

// The window takes the width of the firmware page, but never less than the toolbar needs. A toolbar wider than
// the page would leave an empty strip beside it, so the page's content is made as wide as the toolbar instead.
void MainWindow::WidenFirmwarePageToToolbar()
{
    const int shortfall =
        sensorToolbar->sizeHint().width() + toolbarWindowMargin - (firmwarePage->sizeHint().width() + pageWindowMargin);
    if (shortfall > 0) {
        QBoxLayout* content = mainSection->GetTopLayout();
        content->addStrut(content->sizeHint().width() + shortfall);
    }
}

void MainWindow::AddLogo()
{
    const QPixmap logo("images/logo.png");
    if (logo.isNull()) {
        return;
    }
    auto* label = Named(new QLabel(), "logoLabel");
    label->setPixmap(logo);
    label->setAlignment(Qt::AlignHCenter);
    statusBar()->addPermanentWidget(label, 1);
    statusBar()->setSizeGripEnabled(false);
}

// ---------------------------------------------------------------------------------------------------------
// Connections, in a fixed order: the pages' buttons, the menus, the model, then the visualizer's inputs.

void MainWindow::CreateConnections()
{
    connect(leaveConfigurationModeAction, &QAction::triggered, this, &MainWindow::OnLeaveConfigurationMode);
    ConnectPages();
    connect(aboutAction, &QAction::triggered, this, &MainWindow::OnAboutClicked);
    connect(troubleshootingAction, &QAction::triggered, this, &MainWindow::OnTroubleshootingClicked);
    connect(parameterDocumentationAction, &QAction::triggered, this,
            &MainWindow::OnParameterDocumentationActionClicked);
    connect(visitSupportSiteAction, &QAction::triggered, this, &MainWindow::OnVisitSupportSiteActionClicked);
    connect(visitMorvelAction, &QAction::triggered, this, &MainWindow::OnVisitMorvelActionClicked);
    connect(installDfuDriversAction, &QAction::triggered, this, &MainWindow::OnInstallDfuDriverClicked);
    ConnectModel();
    connect(tabWidget, &QTabWidget::currentChanged, this, &MainWindow::ResizeWindow);
    ConnectVisualizer();
}

void MainWindow::ConnectPages()
{
    connect(mainSection->GetOpenFirmwareFileButton(), &QPushButton::released, this, &MainWindow::OnOpenFirmwareFile);
    connect(mainSection->GetWriteFirmwareButton(), &QPushButton::released, this, &MainWindow::OnWriteFirmware);
    connect(mainSection->GetConfigureParametersButton(), &QPushButton::released, this,
            &MainWindow::OnConfigureParameters);
    connect(deviceComboBox, QOverload<int>::of(&QComboBox::activated), this, &MainWindow::OnDeviceSelected);
    connect(parameterSection->GetReadParametersButton(), &QPushButton::released, this, &MainWindow::OnReadParameters);
    connect(parameterSection->GetSaveToJsonButton(), &QPushButton::released, this, &MainWindow::OnSaveToJson);
    connect(parameterSection->GetWriteParametersButton(), &QPushButton::released, this, &MainWindow::OnWriteParameters);
    connect(parameterSection->GetLoadParametersFromJsonButton(), &QPushButton::released, this,
            &MainWindow::OnLoadParametersJson);
    connect(parameterSection->GetClearParametersButton(), &QPushButton::released, this, &MainWindow::OnClearParameters);
    connect(parameterSection->GetOpenParameterVisualizerButton(), &QPushButton::released, this,
            &MainWindow::OnOpenParameterVisualizer);
}

void MainWindow::ConnectModel()
{
    GuiModel* model = guiModel.get();
    connect(model, &GuiModel::NewDevice, this, &MainWindow::OnNewDevice);
    connect(model, &GuiModel::DeviceDisconnected, this, &MainWindow::OnDeviceRemoved);
    connect(model, &GuiModel::UpdateProgress, this, &MainWindow::OnWriteProgress);
    connect(model, &GuiModel::WriteFirmwareFinished, this, &MainWindow::OnWriteFirmwareFinished);
    connect(model, &GuiModel::UpdateDeviceInformation, this, &MainWindow::OnUpdateDeviceInformation);
    connect(model, &GuiModel::ClearDeviceInformation, this, &MainWindow::OnClearDeviceInformation);
    connect(model, &GuiModel::UpdateRParameters, this, &MainWindow::OnUpdateRParameters);
    connect(model, &GuiModel::UpdateWParameters, this, &MainWindow::OnUpdateWParameters);
    connect(model, &GuiModel::PopInfoMessage, this, &MainWindow::OnPopInfoMessage);
    connect(model, &GuiModel::PopWriteProgressDialog, this, &MainWindow::OnPopWriteProgressDialog);
    connect(model, &GuiModel::UpdateFirmwareFileInformation, this, &MainWindow::OnUpdateFirmwareFileInformation);
    connect(model, &GuiModel::WriteFirmwareStarted, this, &MainWindow::OnWriteFirmwareStarted);
    connect(model, &GuiModel::WriteFirmwareFailed, this, &MainWindow::OnWriteFirmwareFailed);
    connect(model, &GuiModel::BeginReadParameters, this, &MainWindow::OnBeginReadParameters);
    connect(model, &GuiModel::BeginWriteParameters, this, &MainWindow::OnBeginWriteParameters);
    connect(model, &GuiModel::LeaveConfigurationModeResult, this, &MainWindow::OnLeaveConfigurationModeResult);
}

void MainWindow::ConnectVisualizer()
{
    connect(visualizerSection->GetRotateSensorButton(), &QPushButton::released, this, &MainWindow::OnRotateSensor);
    connect(visualizerSection->GetFlipSensorButton(), &QPushButton::released, this, &MainWindow::OnFlipSensor);
    GuiTypes::ViewParameters* view = parameterSection->GetViewParameters();
    for (QLineEdit* bound : {view->lowerBoundX, view->lowerBoundY, view->upperBoundX, view->upperBoundY}) {
        connect(bound, &QLineEdit::textChanged, this, &MainWindow::OnTAALineEditTextValueChanged);
    }
    for (QLineEdit* offset : {view->offsetX, view->offsetY}) {
        connect(offset, &QLineEdit::textChanged, this, &MainWindow::OnTAAOffsetLineEditTextValueChanged);
    }
    for (QComboBox* flag : {view->reverseX, view->reverseY, view->flipXY}) {
        connect(flag, &QComboBox::currentTextChanged, this, &MainWindow::OnTAAComboBoxCurrentTextChanged);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Window size

// While the window is being taken apart, removing its pages changes the current tab: nothing to fit then.
void MainWindow::ResizeWindow()
{
    if (closing) {
        return;
    }
    parameterPageLayout->setSizeConstraint(QLayout::SetFixedSize);
    QWidget* page = tabWidget->currentWidget();
    const int index = tabWidget->currentIndex();
    if (page == nullptr || (index != firmwareTab && index != parametersTab)) {
        return;
    }
    const int frameHeight = helpMenu->sizeHint().height() + statusBar()->sizeHint().height();
    QSize area;
    QSize window;
    if (index == firmwareTab) {
        area = QSize(page->sizeHint().width(), page->minimumSizeHint().height() + frameHeight);
        tabWidget->setMaximumSize(firmwarePageLayout->sizeHint().width(), page->minimumSizeHint().height() + 15);
        window = QSize(area.width() + pageWindowMargin, area.height() + 15);
    } else {
        area = QSize(page->sizeHint().width() + 10, parameterPageLayout->sizeHint().height() + frameHeight);
        tabWidget->setMaximumSize(parameterPageLayout->sizeHint().width(), tabWidget->sizeHint().height());
        window = QSize(area.width(), area.height() + 20);
    }
    // The toolbar with the device list and the device information must show whole.
    const int toolbarWidth = sensorToolbar->sizeHint().width();
    area.setWidth(std::max(area.width(), toolbarWidth));
    window.setWidth(std::max(window.width(), toolbarWidth + toolbarWindowMargin));
    firmwarePage->resize(window);
    setMaximumSize(window);
    scrollArea->resize(area);
    resize(window);
}

// ---------------------------------------------------------------------------------------------------------
// Forwarding slots

void MainWindow::OnLeaveConfigurationMode() { guiModel->LeaveDfuMode(); }

void MainWindow::OnWriteFirmware() { guiModel->StartDownloadThread(); }

void MainWindow::OnReadParameters() { guiModel->CheckCompatibilityAndWriteOrRead(true); }

void MainWindow::OnWriteParameters() { guiModel->CheckCompatibilityAndWriteOrRead(false); }

void MainWindow::OnBeginReadParameters() { guiModel->ReadParameters(); }

void MainWindow::OnConfigureParameters() { tabWidget->setCurrentWidget(parameterPage.get()); }

void MainWindow::OnClearParameters() { ViewUtility::ClearViewParameters(*parameterSection->GetViewParameters()); }

void MainWindow::OnUpdateFirmwareFileInformation(bool overwrites, QString& path)
{
    mainSection->SetFirmwareFileInformation(overwrites, path);
}

void MainWindow::OnRotateSensor() { visualizerSection->RotateSensor(); }

void MainWindow::OnFlipSensor() { visualizerSection->FlipSensor(); }

void MainWindow::OnInstallDfuDriverClicked() { Utility::InstallDfuDrivers(false); }

// ---------------------------------------------------------------------------------------------------------
// Files

QString MainWindow::GetLastOpenedPathDirectory()
{
    if (lastOpenedPath.isEmpty()) {
        return "../";
    }
    return QFileInfo(lastOpenedPath).absolutePath();
}

QString MainWindow::GetOpenPathFromFileDialog(const QString& filter)
{
    const QString path = QFileDialog::getOpenFileName(this, "Choose file", GetLastOpenedPathDirectory(), filter);
    if (!path.isEmpty()) {
        lastOpenedPath = path;
    }
    return path;
}

QString MainWindow::GetSavePathFromFileDialog(const QString& filter)
{
    const QString path = QFileDialog::getSaveFileName(this, "Save file", GetLastOpenedPathDirectory(), filter);
    if (!path.isEmpty()) {
        lastOpenedPath = path;
    }
    return path;
}

void MainWindow::OnOpenFirmwareFile()
{
    const QString path = GetOpenPathFromFileDialog("all files (*.*);;hex file (*.hex);;dfu file (*.dfu)");
    if (!path.isEmpty()) {
        guiModel->CheckFirmwareFile(path);
    }
}

void MainWindow::OnLoadParametersJson()
{
    const QString path = GetOpenPathFromFileDialog("json file (*.json);;all files (*.*)");
    if (!path.isEmpty()) {
        guiModel->GetParametersFromJson(path);
    }
}

void MainWindow::OnSaveToJson()
{
    const QString path = GetSavePathFromFileDialog("json file (*.json)");
    if (!path.isEmpty()) {
        WithPageParameters([&](Parameters& parameters) { guiModel->SaveParametersAsJson(path, parameters); });
    }
}

void MainWindow::OnBeginWriteParameters()
{
    WithPageParameters([&](Parameters& parameters) { guiModel->WriteParameters(parameters); });
}

void MainWindow::WithPageParameters(const std::function<void(Parameters&)>& use)
{
    try {
        Parameters parameters;
        ViewUtility::GetParametersFromView(*parameterSection->GetViewParameters(), parameters);
        use(parameters);
    } catch (TpError::Exception& error) {
        WholeLineMessageBox::Warning(this, "Error", QString::fromUtf8(error.what()));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Parameters shown on the page

void MainWindow::ShowParameters(Parameters& parameters)
{
    GuiTypes::ViewParameters& view = *parameterSection->GetViewParameters();
    ViewUtility::ClearViewParameters(view);
    ViewUtility::SetViewParameters(view, parameters);
}

void MainWindow::OnUpdateRParameters(Parameters& parameters)
{
    ShowParameters(parameters);
    const QMap<int, int> ranges = ViewUtility::GetPossiblePeakCountAndRanges(parameters);
    ViewUtility::UpdateScanningRange(*parameterSection->GetViewParameters(), ranges, parameters);
}

// A file names only the peak count it asks for; the list then offers that one range.
void MainWindow::OnUpdateWParameters(Parameters& parameters)
{
    ShowParameters(parameters);
    if (parameters.geometry && parameters.geometry->peakCount) {
        const int peakCount = *parameters.geometry->peakCount;
        QMap<int, int> ranges;
        ranges.insert(Utility::GetRangeFromPeakCount(peakCount), peakCount);
        ViewUtility::UpdateScanningRange(*parameterSection->GetViewParameters(), ranges, parameters);
    }
}

void MainWindow::UpdateParameterInputFields()
{
    const std::vector<std::string> names = guiModel->GetAllParameterFieldNamesForCurrentDevice();
    if (names.empty()) {
        parameterSection->EnableAllInputFields();
    } else {
        parameterSection->UpdateInputElementsBasedOnParameterFields(names);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Device list

void MainWindow::OnNewDevice(QString text, QString name, bool)
{
    deviceComboBox->addItem(text, name);
    UpdateCurrentDevice();
}

void MainWindow::OnDeviceRemoved(QString name)
{
    const int index = deviceComboBox->findData(name);
    if (index >= 0) {
        deviceComboBox->removeItem(index);
    }
    UpdateCurrentDevice();
}

void MainWindow::OnDeviceSelected(int index)
{
    guiModel->SetCurrentDevice(deviceComboBox->itemData(index).toString());
    UpdateParameterInputFields();
}

void MainWindow::UpdateCurrentDevice()
{
    if (const std::optional<GuiTypes::ListDeviceItem> current = guiModel->GetCurrentDevice()) {
        const int index = deviceComboBox->findData(current->devicePath);
        if (index >= 0) {
            deviceComboBox->setCurrentIndex(index);
        }
    } else {
        guiModel->SetCurrentDevice(deviceComboBox->currentData().toString());
    }
    UpdateParameterInputFields();
}

// Without information (the device went away meanwhile) the labels are emptied and the sensor is not drawn.
void MainWindow::OnUpdateDeviceInformation(GuiTypes::ListDeviceItem item)
{
    const std::optional<DeviceInformationText> information = guiModel->GetCurrentDeviceInformation();
    leaveConfigurationModeAction->setEnabled(item.inDfu && !writeInProgress);
    firmwareVersionLabel->setText(information ? information->firmwareVersion : QString());
    mcuIdLabel->setText(information ? information->mcuIdentifier : QString());
    const int size = information ? information->physicalSensorSize : 0;
    if (size > 0) {
        visualizerSection->SetPhysicalSensorSize(size, physicalSensorDepth);
    }
    visualizerSection->SetPhysicalSensorVisibility(size > 0);
}

void MainWindow::OnClearDeviceInformation()
{
    visualizerSection->SetPhysicalSensorVisibility(false);
    firmwareVersionLabel->clear();
    mcuIdLabel->clear();
}

// ---------------------------------------------------------------------------------------------------------
// Firmware write

void MainWindow::OnPopWriteProgressDialog(QString text) { InitiateWriteProgressDialog(text); }

void MainWindow::InitiateWriteProgressDialog(const QString& text)
{
    if (progressDialog == nullptr) {
        progressDialog = Named(new QProgressDialog(this, Qt::CustomizeWindowHint), "progressDialog");
    }
    progressDialog->setValue(0);
    progressDialog->setRange(0, 100);
    progressDialog->setMinimumDuration(0);
    progressDialog->setLabelText(text);
    progressDialog->setCancelButton(nullptr);
}

void MainWindow::SetWriteState(bool writing)
{
    writeInProgress = writing;
    if (writing) {
        mainSection->DisableButtons();
        parameterSection->DisableButtons();
    } else {
        mainSection->EnableButtons();
        parameterSection->EnableButtons();
    }
    leaveConfigurationModeAction->setEnabled(!writing);
}

void MainWindow::OnWriteFirmwareStarted() { SetWriteState(true); }

void MainWindow::OnWriteProgress(int percent)
{
    if (!writeInProgress || progressDialog == nullptr) {
        return;
    }
    if (!progressDialog->isVisible()) {
        progressDialog->show();
    }
    progressDialog->setValue(percent);
}

void MainWindow::OnWriteFirmwareFinished()
{
    if (progressDialog != nullptr) {
        progressDialog->setValue(progressDialog->maximum());
    }
    guiModel->EndDownloadThread();
    SetWriteState(false);
}

void MainWindow::OnWriteFirmwareFailed()
{
    guiModel->EndDownloadThread();
    if (progressDialog != nullptr) {
        progressDialog->hide();
    }
    SetWriteState(false);
}

// ---------------------------------------------------------------------------------------------------------
// Configuration mode and messages

void MainWindow::OnLeaveConfigurationModeResult(bool ok)
{
    if (ok || closing) {
        leaveConfigurationModeAction->setEnabled(false);
        return;
    }
    WholeLineMessageBox::Warning(this, "Error", leaveFailedText);
}

void MainWindow::OnPopInfoMessage(bool info, QString title, QString text)
{
    if (info) {
        WholeLineMessageBox::Information(this, title, text);
    } else {
        WholeLineMessageBox::Warning(this, title, text);
    }
}

void MainWindow::OnAboutClicked()
{
    const ApplicationInformation& application = ApplicationInformation::GetApplicationInformation();
    const QString text = QString("Application Name: ") + QString::fromStdString(application.applicationName) + "\n" +
                         "Version: " + QString::fromStdString(application.GetVersionText()) + "\n" +
                         "Website: " + MakerLinks::supportSite + " \n" + "Contact: " + MakerLinks::supportMail + " \n";
    WholeLineMessageBox::About(this, "About Tarnix Programmer", text);
}

void MainWindow::OnTroubleshootingClicked()
{
    WholeLineMessageBox::About(
        this, "Troubleshooting",
        QString(troubleshootingText) + MakerLinks::supportSite + " for documentation and support. \n");
}

void MainWindow::OnParameterDocumentationActionClicked() { OpenLink(MakerLinks::parameterDocumentation); }

void MainWindow::OnVisitSupportSiteActionClicked() { OpenLink(MakerLinks::supportSite); }

void MainWindow::OnVisitMorvelActionClicked() { OpenLink(MakerLinks::makerSite); }

// ---------------------------------------------------------------------------------------------------------
// Visualizer

void MainWindow::OnOpenParameterVisualizer()
{
    visualizerVisible = !visualizerVisible;
    visualizerPage->setVisible(visualizerVisible);
    ResizeWindow();
    if (visualizerVisible) {
        visualizerSection->Update();
    }
}

// The area is drawn only with four bounds that give it a positive width and height; a bound that is no
// number counts as 0.
void MainWindow::OnTAALineEditTextValueChanged(const QString&)
{
    if (!visualizerSection) {
        return;
    }
    const GuiTypes::ViewParameters& view = *parameterSection->GetViewParameters();
    const QLineEdit* bounds[] = {view.lowerBoundX, view.lowerBoundY, view.upperBoundX, view.upperBoundY};
    for (const QLineEdit* bound : bounds) {
        if (bound->text().isEmpty()) {
            visualizerSection->SetTouchActiveAreaVisibility(false);
            return;
        }
    }
    const int lowerX = view.lowerBoundX->text().toInt(nullptr, 10);
    const int lowerY = view.lowerBoundY->text().toInt(nullptr, 10);
    const int upperX = view.upperBoundX->text().toInt(nullptr, 10);
    const int upperY = view.upperBoundY->text().toInt(nullptr, 10);
    if (upperX - lowerX > 0 && upperY - lowerY > 0) {
        visualizerSection->SetTouchActiveAreaVisibility(true);
        visualizerSection->SetTouchActiveArea(lowerX, lowerY, upperX, upperY);
    } else {
        visualizerSection->SetTouchActiveAreaVisibility(false);
    }
}

void MainWindow::OnTAAOffsetLineEditTextValueChanged(const QString&)
{
    if (!visualizerSection) {
        return;
    }
    const GuiTypes::ViewParameters& view = *parameterSection->GetViewParameters();
    visualizerSection->SetTouchActiveAreaOffset(view.offsetX->text().toInt(nullptr, 10),
                                                view.offsetY->text().toInt(nullptr, 10));
}

void MainWindow::OnTAAComboBoxCurrentTextChanged(const QString&)
{
    if (!visualizerSection) {
        return;
    }
    const GuiTypes::ViewParameters& view = *parameterSection->GetViewParameters();
    visualizerSection->SetTouchActiveAreaFlags(
        view.reverseX->currentText() == "On", view.reverseY->currentText() == "On", view.flipXY->currentText() == "On");
}
