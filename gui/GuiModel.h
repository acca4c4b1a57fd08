#pragma once

#include "core/ApplicationModelEvents.h"
#include "core/Parameters.h"
#include "gui/GuiTypes.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class ApplicationModel;

// The texts that the window shows for the current device.
struct DeviceInformationText {
    QString firmwareVersion;     // "major.minor", empty when the device reports no firmware major version
    QString mcuIdentifier;       // uppercase hexadecimal, empty when the device reported none
    int physicalSensorSize = 0;  // never below 0
};

// The desktop application's model: owns the one ApplicationModel, receives its events, keeps the list of
// connected devices and which of them is current, and hands everything to the window as Qt signals. It never
// touches a widget; every message for the user goes through PopInfoMessage.
//
// Threads: the event handlers run on the core's search, write and progress threads as well as on the GUI
// thread; the operations run on the GUI thread. Signals emitted on a core thread reach the window queued and
// carry only QString, int and bool; the signals with a parameter record, a list entry or a reference are
// emitted on the GUI thread only. The device list, the current device and the incompatible-drivers flag are
// guarded by one mutex, which is never held while a signal is emitted.
class GuiModel : public QObject, public ApplicationModelEvents {
    Q_OBJECT

public:
    explicit GuiModel(QObject* parent = nullptr);
    ~GuiModel() override;

    // Events of the core.
    void OnNewDevice(std::string name, std::string description, bool isDfu) override;
    void OnDeviceDisconnected(std::string name) override;
    void OnErrorConnectingToDevice(TpError::Exception& error) override;
    void OnUpdateProgress(int percent) override;
    void OnWriteFirmwareFinished() override;
    void OnBadFirmwareFile() override;
    void OnFirmwareFileChecked(bool willOverwritePersistentParameters, std::string& path) override;
    void OnFailedFirmwareFileCheck() override;
    void OnWriteFirmwareFailed() override;
    void OnLeaveDfuModeResult(bool succeeded) override;
    void OnIncompatibleDfuDrivers() override;

    // Forwarders to the application model; a failure of the core is shown like those of the operations below.
    void StartSearchThread();
    void EndSearch();
    void EndDownloadThread();
    void CombineParameters(Parameters& target, Parameters& source);
    bool SetDfuMode(std::string name);
    void LeaveDfuMode(std::string name);
    // A copy of the current device's entry; empty when no device is current.
    std::optional<GuiTypes::ListDeviceItem> GetCurrentDevice();

    // Operations of the window. A TpError::Exception from the core never leaves them: it is shown with its
    // own text under "Error".
    void SetCurrentDevice(const QString& name);
    bool SetDfuAndExpectDevice(std::string name, std::string& dfuName);
    void CheckCompatibilityAndWriteOrRead(bool read);
    void WriteParameters(Parameters& pageParameters);
    void ReadParameters();
    void StartDownloadThread();
    void CheckFirmwareFile(const QString& path);
    void GetParametersFromJson(const QString& path);
    void SaveParametersAsJson(const QString& path, Parameters& parameters);
    std::optional<DeviceInformationText> GetCurrentDeviceInformation();
    std::vector<std::string> GetAllParameterFieldNamesForCurrentDevice();
    void LeaveDfuMode();
    void LeaveDfuModeOnAllDevices();

signals:
    void NewDevice(QString _deviceName, QString _devicePath, bool _isDfuDevice);
    void DeviceDisconnected(QString _devicePath);
    void UpdateProgress(int progress);
    void WriteFirmwareFinished();
    void UpdateRParameters(Parameters& _param);
    void UpdateWParameters(Parameters& _param);
    void UpdateDeviceInformation(GuiTypes::ListDeviceItem _item);
    void ClearDeviceInformation();
    void PopInfoMessage(bool _success, QString _title, QString _message);
    void PopWriteProgressDialog(QString _message);
    void UpdateFirmwareFileInformation(bool _willOverwrite, QString& _path);
    void WriteFirmwareFailed();
    void WriteFirmwareStarted();
    void BeginWriteParameters();
    void BeginReadParameters();
    void LeaveConfigurationModeResult(bool _ok);

private:
    void ShowError(const QString& text);
    void ShowWarning(const QString& text);
    // Runs an operation of the core; a TpError::Exception is shown under "Error" and answered with false.
    bool RunShowingErrors(const std::function<void()>& operation);
    // The path-length rule; shows the error box and answers false for a path that is too long.
    bool IsPathLengthAccepted(const QString& path);
    // Switches a sensor to DFU mode and selects the DFU device that appears; throws what the core throws.
    bool SwitchToDfuAndSelect(std::string name, std::string& dfuName);
    // Switches the device to DFU mode unless it is already there, showing why when that fails; name receives
    // the name of the device in DFU mode.
    bool BringIntoDfuMode(const GuiTypes::ListDeviceItem& device, std::string& name);
    bool PrepareParameterTransfer(std::string& name);
    bool IsDeviceListEmpty();
    bool IsIncompatibleDriversReported();
    void ClearIncompatibleDriversReported();

    std::unique_ptr<ApplicationModel> model;
    QMap<QString, GuiTypes::ListDeviceItem> devices;
    QString firmwarePath;
    // The current device, held by its key: the search thread may remove the entry at any time.
    std::optional<QString> currentDevice;
    bool incompatibleDriversReported = false;
    // Guards devices, currentDevice and incompatibleDriversReported.
    std::mutex listMutex;
};
