#include "gui/GuiModel.h"

#include "core/ApplicationModel.h"
#include "core/DeviceInformation.h"
#include "core/TpError.h"
#include "core/Utility.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

const char* const errorTitle = "Error";
const char* const warningTitle = "Warning";
const char* const successTitle = "Success";
const char* const mcuIdPlaceholder = "MCU ID PLACEHOLDER";
const char* const oldHardwareFirmwareMarker = "- 158 - 1.7.2";
const char* const writingFirmwareText = "Writing Firmware...";

const char* const failedToConnectText = "Failed to connect to device.";
const char* const unsupportedFileText = "This file format is not supported.";
const char* const failedFileCheckText = "Failed to check firmware file for persistent parameters.";
const char* const firmwareWriteFailedText = "Firmware Write Failed.";
const char* const overwriteWarningText = "This firmware will overwrite any stored parameters.";
const char* const oldHardwareWarningText =
    "This firmware version is not supporting the hardware of 158 mm KLRM manufactured prior to 14th of April 2021.";
const char* const incompatibleDriversText =
    "Incompatible DFU drivers found.\n\nPlease follow these steps:\n* Do not unplug or reset the sensor.\n"
    "* One of:\n** In the toolbar, select Help -> Install DFU Drivers or\n"
    "** Run the Tarnix Programmer installer and select the Repair function.\n"
    "* If this popup occured after an operation, retry the operation.\n\nAdministrator rights needed.";
const char* const noDeviceText = "No device connected.";
const char* const noFirmwareText = "No firmware file loaded.";
const char* const dfuSwitchFailedText = "Failed to set device in configuration mode.";
const char* const tooLongPathText = "Too long path. Supports up to 259 characters.";
const char* const notInDfuModeText = "Device is not in configuration mode.";
const char* const downloadSucceededText = "Download succeeded.";
const char* const noVersionText =
    "Unable to ascertain if the firmware supports persistant parameters or not.\n"
    "If the program was started while the sensor was in Configuration/DFU mode, or if you used the Install DFU "
    "Drivers menu option, please press Leave Configuration Mode and try again.\n"
    "If the sensor is running a 1.x firmware, please update to the latest firmware and try again.";
const char* const programOutdatedText =
    "This version of Tarnix Programmer is outdated and not compatible\nwith the current firmware version. "
    "\t\t\t\t\n\nPlease download the latest version of Tarnix Programmer.";

constexpr int noParametersVersion = 0;
constexpr int deviceIsNewer = 2;
constexpr int parametersSupported = 3;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

std::string ToUtf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// A requested peak count must be one that the sensor's optics allow.
void CheckScanningRange(const Parameters& requested, const Parameters& stored)
{
    if (!requested.geometry || !requested.geometry->peakCount) {
        return;
    }
    if (!stored.geometry || !stored.geometry->sourceCount) {
        throw TpError::InvalidScanningRange();
    }
    const int peakCount = *requested.geometry->peakCount;
    const std::map<int, int> ranges = Utility::GetPossiblePeakCountAndRelativeHeights(*stored.geometry->sourceCount);
    const bool possible =
        std::any_of(ranges.begin(), ranges.end(),
                    [peakCount](const std::pair<const int, int>& entry) { return entry.second == peakCount; });
    if (!possible) {
        throw TpError::InvalidScanningRange();
    }
}

DeviceInformationText MakeDeviceInformationText(const DeviceInformation& information)
{
    DeviceInformationText text;
    if (information.firmwareVersionMajor != 0) {
        text.firmwareVersion =
            QString("%1.%2").arg(information.firmwareVersionMajor).arg(information.firmwareVersionMinor);
    }
    text.mcuIdentifier = FromUtf8(information.mcuIdentifier);
    const auto size = static_cast<std::int32_t>(information.deviceValue82);
    text.physicalSensorSize = size < 0 ? 0 : size;
    return text;
}

}  // namespace

GuiModel::GuiModel(QObject* parent) : QObject(parent) { model = std::make_unique<ApplicationModel>(this); }

// The owner ends the search and any write first; doing it here again makes a forgotten end harmless instead of
// fatal (a joinable thread must never be destroyed), and it happens while this receiver is still whole.
GuiModel::~GuiModel()
{
    model->EndSearch();
    model->EndDownloadThread();
}

// ---------------------------------------------------------------------------------------------------------
// Events of the core

void GuiModel::OnNewDevice(std::string name, std::string description, bool isDfu)
{
    const QString key = FromUtf8(name);
    const QString text = FromUtf8(description);
    {
        std::lock_guard<std::mutex> lock(listMutex);
        devices.insert(key, GuiTypes::ListDeviceItem{isDfu, key, text, mcuIdPlaceholder});
    }
    emit NewDevice(text, key, isDfu);
}

void GuiModel::OnDeviceDisconnected(std::string name)
{
    const QString key = FromUtf8(name);
    {
        std::lock_guard<std::mutex> lock(listMutex);
        devices.remove(key);
        currentDevice.reset();
    }
    emit DeviceDisconnected(key);
}

void GuiModel::OnErrorConnectingToDevice(TpError::Exception&) { ShowError(failedToConnectText); }

void GuiModel::OnUpdateProgress(int percent) { emit UpdateProgress(percent); }

void GuiModel::OnWriteFirmwareFinished() { emit WriteFirmwareFinished(); }

void GuiModel::OnBadFirmwareFile() { ShowError(unsupportedFileText); }

void GuiModel::OnFirmwareFileChecked(bool willOverwritePersistentParameters, std::string& path)
{
    firmwarePath = FromUtf8(path);
    emit UpdateFirmwareFileInformation(willOverwritePersistentParameters, firmwarePath);
    if (willOverwritePersistentParameters) {
        ShowWarning(overwriteWarningText);
    }
    if (Utility::FindInString(path, oldHardwareFirmwareMarker)) {
        ShowWarning(oldHardwareWarningText);
    }
}

void GuiModel::OnFailedFirmwareFileCheck() { ShowError(failedFileCheckText); }

// The window leaves its write state before the user sees the message.
void GuiModel::OnWriteFirmwareFailed()
{
    emit WriteFirmwareFailed();
    ShowError(firmwareWriteFailedText);
}

void GuiModel::OnLeaveDfuModeResult(bool succeeded) { emit LeaveConfigurationModeResult(succeeded); }

// The search reports the drivers in every pass; the user sees the box once until the next operation starts.
void GuiModel::OnIncompatibleDfuDrivers()
{
    {
        std::lock_guard<std::mutex> lock(listMutex);
        if (incompatibleDriversReported) {
            return;
        }
        incompatibleDriversReported = true;
    }
    ShowError(incompatibleDriversText);
}

// ---------------------------------------------------------------------------------------------------------
// Forwarders

void GuiModel::StartSearchThread() { model->StartSearchThread(); }

void GuiModel::EndSearch() { model->EndSearch(); }

void GuiModel::EndDownloadThread() { model->EndDownloadThread(); }

void GuiModel::CombineParameters(Parameters& target, Parameters& source)
{
    ApplicationModel::CombineParameters(target, source);
}

bool GuiModel::SetDfuMode(std::string name)
{
    bool sent = false;
    RunShowingErrors([&] { sent = model->SetDfuMode(name); });
    return sent;
}

void GuiModel::LeaveDfuMode(std::string name)
{
    RunShowingErrors([&] { model->LeaveDfuMode(name); });
}

std::optional<GuiTypes::ListDeviceItem> GuiModel::GetCurrentDevice()
{
    std::lock_guard<std::mutex> lock(listMutex);
    if (!currentDevice) {
        return std::nullopt;
    }
    const auto entry = devices.constFind(*currentDevice);
    if (entry == devices.constEnd()) {
        return std::nullopt;
    }
    return *entry;
}

// ---------------------------------------------------------------------------------------------------------
// Selection and the mode switch

void GuiModel::SetCurrentDevice(const QString& name)
{
    std::optional<GuiTypes::ListDeviceItem> selected;
    {
        std::lock_guard<std::mutex> lock(listMutex);
        const auto entry = devices.constFind(name);
        if (entry != devices.constEnd()) {
            currentDevice = name;
            selected = *entry;
        }
    }
    if (selected) {
        emit UpdateDeviceInformation(*selected);
    } else {
        emit ClearDeviceInformation();
    }
}

bool GuiModel::SetDfuAndExpectDevice(std::string name, std::string& dfuName)
{
    bool appeared = false;
    RunShowingErrors([&] { appeared = SwitchToDfuAndSelect(std::move(name), dfuName); });
    return appeared;
}

bool GuiModel::SwitchToDfuAndSelect(std::string name, std::string& dfuName)
{
    const bool appeared = model->SetDfuAndExpectDevice(std::move(name), dfuName);
    if (appeared) {
        SetCurrentDevice(FromUtf8(dfuName));
    }
    return appeared;
}

bool GuiModel::BringIntoDfuMode(const GuiTypes::ListDeviceItem& device, std::string& name)
{
    name = ToUtf8(device.devicePath);
    if (device.inDfu) {
        return true;
    }
    bool appeared = false;
    if (!RunShowingErrors([&] { appeared = SwitchToDfuAndSelect(name, name); })) {
        return false;
    }
    if (!appeared && !IsIncompatibleDriversReported()) {
        ShowError(dfuSwitchFailedText);
    }
    return appeared;
}

// ---------------------------------------------------------------------------------------------------------
// Parameters

void GuiModel::CheckCompatibilityAndWriteOrRead(bool read)
{
    const std::optional<GuiTypes::ListDeviceItem> device = GetCurrentDevice();
    if (!device) {
        ShowError(noDeviceText);
        return;
    }
    int support = noParametersVersion;
    if (!RunShowingErrors(
            [&] { support = model->IsDeviceParametersVersionSupported(ToUtf8(device->devicePath), device->inDfu); })) {
        return;
    }
    if (support == parametersSupported) {
        if (read) {
            emit BeginReadParameters();
        } else {
            emit BeginWriteParameters();
        }
    } else if (support == deviceIsNewer) {
        ShowError(programOutdatedText);
    } else {
        ShowError(noVersionText);
    }
}

// The common start of a parameter read or write: a current device, a fresh incompatible-drivers report, and
// the device in DFU mode, whose name name receives.
bool GuiModel::PrepareParameterTransfer(std::string& name)
{
    const std::optional<GuiTypes::ListDeviceItem> device = GetCurrentDevice();
    if (IsDeviceListEmpty() || !device) {
        ShowError(noDeviceText);
        return false;
    }
    ClearIncompatibleDriversReported();
    return BringIntoDfuMode(*device, name);
}

void GuiModel::WriteParameters(Parameters& pageParameters)
{
    std::string name;
    if (!PrepareParameterTransfer(name)) {
        return;
    }
    RunShowingErrors([&] {
        Parameters stored;
        model->Upload(name, stored);
        CheckScanningRange(pageParameters, stored);
        ApplicationModel::CombineParameters(stored, pageParameters);
        model->Download(name, stored);
        emit PopInfoMessage(true, successTitle, downloadSucceededText);
    });
}

void GuiModel::ReadParameters()
{
    std::string name;
    if (!PrepareParameterTransfer(name)) {
        return;
    }
    RunShowingErrors([&] {
        Parameters parameters;
        model->Upload(name, parameters);
        emit UpdateRParameters(parameters);
    });
}

void GuiModel::GetParametersFromJson(const QString& path)
{
    if (path.isEmpty() || !IsPathLengthAccepted(path)) {
        return;
    }
    RunShowingErrors([&] {
        Parameters parameters;
        model->GetParametersFromJson(ToUtf8(path), parameters);
        emit UpdateWParameters(parameters);
    });
}

void GuiModel::SaveParametersAsJson(const QString& path, Parameters& parameters)
{
    if (path.isEmpty() || !IsPathLengthAccepted(path)) {
        return;
    }
    RunShowingErrors([&] { model->SaveParametersAsJson(ToUtf8(path), parameters); });
}

// ---------------------------------------------------------------------------------------------------------
// Firmware

void GuiModel::StartDownloadThread()
{
    if (IsDeviceListEmpty()) {
        ShowError(noDeviceText);
        return;
    }
    if (firmwarePath.isEmpty()) {
        ShowError(noFirmwareText);
        return;
    }
    const std::optional<GuiTypes::ListDeviceItem> device = GetCurrentDevice();
    if (!device) {
        ShowError(noDeviceText);
        return;
    }
    ClearIncompatibleDriversReported();
    std::string name;
    if (!BringIntoDfuMode(*device, name)) {
        emit WriteFirmwareFailed();
        return;
    }
    const bool started = RunShowingErrors([&] {
        // A write that ended but whose end the window has not handled yet still holds its threads; they must
        // be joined before new ones start.
        model->EndDownloadThread();
        model->StartDownloadThread(name, ToUtf8(firmwarePath));
        emit WriteFirmwareStarted();
        emit PopWriteProgressDialog(writingFirmwareText);
    });
    if (!started) {
        emit WriteFirmwareFailed();
    }
}

void GuiModel::CheckFirmwareFile(const QString& path)
{
    if (!IsPathLengthAccepted(path)) {
        return;
    }
    std::string text = ToUtf8(path);
    RunShowingErrors([&] { model->InitFirmwareFileCheck(text); });
}

// ---------------------------------------------------------------------------------------------------------
// Device information

std::optional<DeviceInformationText> GuiModel::GetCurrentDeviceInformation()
{
    const std::optional<GuiTypes::ListDeviceItem> device = GetCurrentDevice();
    if (!device) {
        return std::nullopt;
    }
    DeviceInformation information;
    if (!RunShowingErrors(
            [&] { information = model->GetDeviceInformation(ToUtf8(device->devicePath), device->inDfu); })) {
        return std::nullopt;
    }
    return MakeDeviceInformationText(information);
}

std::vector<std::string> GuiModel::GetAllParameterFieldNamesForCurrentDevice()
{
    const std::optional<GuiTypes::ListDeviceItem> device = GetCurrentDevice();
    if (!device) {
        return {};
    }
    std::vector<std::string> names;
    RunShowingErrors([&] {
        const std::string name = ToUtf8(device->devicePath);
        const DeviceInformation information = model->GetDeviceInformation(name, device->inDfu);
        if (information.parametersVersionMajor == 0 ||
            model->IsDeviceParametersVersionSupported(name, device->inDfu) != parametersSupported) {
            return;
        }
        names = model->GetAllFieldNamesForParameterVersion(static_cast<int>(information.parametersVersionMajor),
                                                           static_cast<int>(information.parametersVersionMinor));
    });
    return names;
}

// ---------------------------------------------------------------------------------------------------------
// Leaving DFU mode

void GuiModel::LeaveDfuMode()
{
    const std::optional<GuiTypes::ListDeviceItem> device = GetCurrentDevice();
    if (!device) {
        return;
    }
    if (!device->inDfu) {
        ShowError(notInDfuModeText);
        return;
    }
    LeaveDfuMode(ToUtf8(device->devicePath));
}

// The devices leave the list while this walks it, so it walks a copy of the names; a device that fails to
// leave does not keep the others in DFU mode.
void GuiModel::LeaveDfuModeOnAllDevices()
{
    std::vector<QString> dfuNames;
    {
        std::lock_guard<std::mutex> lock(listMutex);
        for (const GuiTypes::ListDeviceItem& item : devices) {
            if (item.inDfu) {
                dfuNames.push_back(item.devicePath);
            }
        }
    }
    for (const QString& name : dfuNames) {
        LeaveDfuMode(ToUtf8(name));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Helpers

void GuiModel::ShowError(const QString& text) { emit PopInfoMessage(false, errorTitle, text); }

void GuiModel::ShowWarning(const QString& text) { emit PopInfoMessage(false, warningTitle, text); }

bool GuiModel::RunShowingErrors(const std::function<void()>& operation)
{
    try {
        operation();
        return true;
    } catch (TpError::Exception& error) {
        QString text = QString::fromUtf8(error.what());
        if (!error.AddedLine().empty()) {
            text += "\n\n" + FromUtf8(error.AddedLine());
        }
        ShowError(text);
        return false;
    }
}

bool GuiModel::IsPathLengthAccepted(const QString& path)
{
    if (Utility::GetFullPathLength(ToUtf8(path)) > Utility::maxPathLength) {
        ShowError(tooLongPathText);
        return false;
    }
    return true;
}

bool GuiModel::IsDeviceListEmpty()
{
    std::lock_guard<std::mutex> lock(listMutex);
    return devices.isEmpty();
}

bool GuiModel::IsIncompatibleDriversReported()
{
    std::lock_guard<std::mutex> lock(listMutex);
    return incompatibleDriversReported;
}

void GuiModel::ClearIncompatibleDriversReported()
{
    std::lock_guard<std::mutex> lock(listMutex);
    incompatibleDriversReported = false;
}
