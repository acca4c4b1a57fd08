#include "core/ApplicationModel.h"

#include "core/ApplicationInformation.h"
#include "core/Connection.h"
#include "core/DeviceArrival.h"
#include "core/DeviceFinder.h"
#include "core/DeviceHandler.h"
#include "core/DfuDevice.h"
#include "core/ParameterWalks.h"
#include "core/SensorDevice.h"
#include "core/TpError.h"
#include "core/UsbHandler.h"
#include "core/Utility.h"

#include <chrono>
#include <type_traits>
#include <utility>

namespace {

const char* const dfuDeviceDescription = "Device In Configuration Mode";

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace

ApplicationModel::ApplicationModel(ApplicationModelEvents* receiver)
    : events(receiver), connection(std::make_unique<Connection>())
{
}

ApplicationModel::ApplicationModel() : ApplicationModel(nullptr) {}

ApplicationModel::~ApplicationModel() = default;

// ---------------------------------------------------------------------------------------------------------
// Device search

void ApplicationModel::StartSearchThread()
{
    searching = true;
    searchThread = std::thread(&ApplicationModel::SearchDevices, this);
}

void ApplicationModel::EndSearch()
{
    searching = false;
    if (searchThread.joinable()) {
        searchThread.join();
    }
}

void ApplicationModel::SearchDevices()
{
    std::vector<std::string> newDfuNames;
    while (searching) {
        SearchPass(newDfuNames);
        Pause(searchPauseMs);
    }
}

// One pass: new DFU devices (or else the incompatible-drivers warning), at most one new sensor with its
// information, then the devices that went away, DFU devices first.
void ApplicationModel::SearchPass(std::vector<std::string>& newDfuNames)
{
    ++searchPassesBegun;
    newDfuNames.clear();
    try {
        AnnounceNewDevices(newDfuNames);
    } catch (TpError::Exception& error) {
        if (events != nullptr) {
            events->OnErrorConnectingToDevice(error);
        }
    }
    DeviceFinder::UpdateFoundDevices();
    ReportRemovedDevices();
    ++searchPassesEnded;
}

void ApplicationModel::AnnounceNewDevices(std::vector<std::string>& newDfuNames)
{
    bool incompatible = false;
    if (DeviceFinder::FindDfuDevice(newDfuNames, incompatible)) {
        if (events != nullptr) {
            for (const std::string& name : newDfuNames) {
                events->OnNewDevice(name, dfuDeviceDescription, true);
            }
        }
    } else if (incompatible && events != nullptr) {
        events->OnIncompatibleDfuDrivers();
    }

    // The lock is taken before the sensor enters the registry: a caller that meets it there waits until its
    // handle is open and its information read and stored.
    std::unique_lock<std::mutex> guard(informationLock);
    std::string path;
    if (!DeviceFinder::FindSensorHidDevice(path) || events == nullptr) {
        return;
    }
    SensorDevice* sensor = DeviceHandler::GetInstance()->GetSensorDevice(path);
    if (sensor == nullptr) {
        return;  // unplugged and dropped between registration and now
    }
    sensor->SetDeviceInformation(connection->GetDeviceInformation(sensor));
    guard.unlock();
    events->OnNewDevice(path, sensor->GetDeviceDescription(), false);
}

void ApplicationModel::ReportRemovedDevices()
{
    DeviceHandler* registry = DeviceHandler::GetInstance();
    const std::vector<std::string> removedDfuDevices = registry->GetRemovedDfuDeviceVector();
    const std::vector<std::string> removedSensors = registry->GetRemovedSensorDeviceVector();
    if (events != nullptr) {
        for (const std::string& name : removedDfuDevices) {
            events->OnDeviceDisconnected(name);
        }
        for (const std::string& name : removedSensors) {
            events->OnDeviceDisconnected(name);
        }
    }
    registry->ClearRemovedDeviceVectors();
}

// ---------------------------------------------------------------------------------------------------------
// Firmware check and write

void ApplicationModel::InitFirmwareFileCheck(std::string& path)
{
    std::string copy = path;
    std::string dfuSuffix = ".dfu";
    std::string hexSuffix = ".hex";
    if (!Utility::StringEndsWith(copy, dfuSuffix, true) && !Utility::StringEndsWith(copy, hexSuffix, true)) {
        if (events != nullptr) {
            events->OnBadFirmwareFile();
        }
        return;
    }
    bool willOverwrite = false;
    const bool examined = connection->WillOverwritePersistentParameters(copy, willOverwrite);
    if (events == nullptr) {
        return;
    }
    if (examined) {
        events->OnFirmwareFileChecked(willOverwrite, copy);
    } else {
        events->OnFailedFirmwareFileCheck();
    }
}

void ApplicationModel::StartDownloadThread(std::string dfuName, std::string path)
{
    downloading = true;
    writeThread = std::thread(&ApplicationModel::WriteFirmwareFile, this, std::move(dfuName), std::move(path));
    progressThread = std::thread(&ApplicationModel::PollWriteProgress, this);
}

void ApplicationModel::WriteFirmwareFile(const std::string& dfuName, std::string path)
{
    try {
        DfuDevice* device = RequireDfuDevice(dfuName);
        connection->WriteFirmwareFile(device, path);
    } catch (TpError::Exception&) {
        if (events != nullptr) {
            events->OnWriteFirmwareFailed();
        }
        downloading = false;
        return;
    }
    downloading = false;
    if (events != nullptr) {
        events->OnWriteFirmwareFinished();
    }
}

void ApplicationModel::PollWriteProgress()
{
    if (!downloading) {
        return;
    }
    int last = 0;
    while (true) {
        const int percentage = connection->GetFirmwareWritePercentage();
        if (percentage != last && events != nullptr) {
            events->OnUpdateProgress(percentage);
        }
        Pause(pollPauseMs);
        if (!downloading) {
            return;
        }
        last = percentage;
    }
}

void ApplicationModel::EndDownloadThread()
{
    downloading = false;
    if (writeThread.joinable()) {
        writeThread.join();
    }
    if (progressThread.joinable()) {
        progressThread.join();
    }
}

// ---------------------------------------------------------------------------------------------------------
// Mode switches

SensorDevice* ApplicationModel::RequireSensor(const std::string& name)
{
    SensorDevice* sensor = DeviceHandler::GetInstance()->GetSensorDevice(name);
    if (sensor == nullptr) {
        throw TpError::UnableToConnect();
    }
    return sensor;
}

DfuDevice* ApplicationModel::RequireDfuDevice(const std::string& name)
{
    DfuDevice* device = DeviceHandler::GetInstance()->GetDfuDevice(name);
    if (device == nullptr) {
        throw TpError::UnableToConnect();
    }
    return device;
}

bool ApplicationModel::SetDfuMode(std::string sensorName)
{
    return connection->SetDeviceToDfuMode(RequireSensor(sensorName));
}

bool ApplicationModel::SetDfuAndExpectDevice(std::string sensorName, std::string& dfuName)
{
    SensorDevice* sensor = RequireSensor(sensorName);
    std::map<std::string, DfuDevice*> before = DeviceHandler::GetInstance()->GetDfuDeviceMap();
    // Discovery registers one DFU device per pass, so a device that was already in configuration mode may
    // enter the registry only during the wait; the bus itself tells which ones were there before the switch.
    const std::set<std::string> presentBefore = UsbHandler::GetInstance()->GetPresentDfuDevicePaths();
    std::unique_lock<std::mutex> guard(informationLock);
    DeviceInformation information = *sensor->GetDeviceInformation();
    guard.unlock();
    connection->SetDeviceToDfuMode(sensor);
    return WaitForExpectedDfuDevice(dfuName, dfuAppearanceTimeoutMs, before, information, presentBefore);
}

bool ApplicationModel::WaitForExpectedDfuDevice(std::string& dfuName, int timeout,
                                                std::map<std::string, DfuDevice*>& before,
                                                DeviceInformation information,
                                                const std::set<std::string>& presentBefore)
{
    DeviceArrival<DfuDevice> arrival(
        before, presentBefore, [] { return UsbHandler::GetInstance()->GetPresentDfuDevicePaths(); }, searchPassesBegun,
        searchPassesEnded);
    Utility::Timer timer;
    timer.Start();
    while (static_cast<long long>(timer.Current()) < timeout) {
        const std::map<std::string, DfuDevice*> now = DeviceHandler::GetInstance()->GetDfuDeviceMap();
        if (const auto* entry = arrival.Find(now)) {
            DfuDevice* device = entry->second;
            dfuName = device->GetUsbDevicePath();
            device->SetDeviceInformation(information);
            return true;
        }
        Pause(pollPauseMs);
    }
    return false;
}

void ApplicationModel::LeaveDfuMode(const std::string& dfuName)
{
    const bool result = connection->LeaveDfuMode(RequireDfuDevice(dfuName));
    if (events != nullptr) {
        events->OnLeaveDfuModeResult(result);
    }
}

bool ApplicationModel::LeaveDfuAndExpectDevice(std::string dfuName, std::string& sensorName)
{
    DfuDevice* device = RequireDfuDevice(dfuName);
    const auto presentHidInterfaces = [] { return UsbHandler::GetInstance()->GetPresentDevicePaths(false); };
    DeviceArrival<SensorDevice> arrival(DeviceHandler::GetInstance()->GetSensorDeviceMap(), presentHidInterfaces(),
                                        presentHidInterfaces, searchPassesBegun, searchPassesEnded);
    const bool result = connection->LeaveDfuMode(device);
    if (events != nullptr) {
        events->OnLeaveDfuModeResult(result);
    }
    Utility::Timer timer;
    timer.Start();
    while (static_cast<long long>(timer.Current()) <= sensorReturnLimitMs) {
        const std::map<std::string, SensorDevice*> now = DeviceHandler::GetInstance()->GetSensorDeviceMap();
        if (const auto* entry = arrival.Find(now)) {
            sensorName = entry->second->GetUsbDevicePath();
            return true;
        }
        Pause(pollPauseMs);
    }
    return false;
}

// ---------------------------------------------------------------------------------------------------------
// Parameters

void ApplicationModel::Download(const std::string& dfuName, Parameters& parameters)
{
    connection->WriteParameters(RequireDfuDevice(dfuName), parameters);
}

void ApplicationModel::Download(const std::string& dfuName, const std::string& schemaPath, const std::string& jsonPath)
{
    connection->WriteParameters(RequireDfuDevice(dfuName), jsonPath, schemaPath);
}

void ApplicationModel::Upload(const std::string& dfuName, Parameters& parameters)
{
    DfuDevice* device = RequireDfuDevice(dfuName);
    connection->ReadParameters(device, parameters);
    device->SetParameters(parameters);
}

void ApplicationModel::Upload(const std::string& dfuName, const std::string& schemaPath, const std::string& jsonPath)
{
    connection->ReadParametersToJson(RequireDfuDevice(dfuName), schemaPath, jsonPath);
}

void ApplicationModel::GetParametersFromJson(std::string path, Parameters& parameters)
{
    connection->GetParametersFromJson(std::move(path), parameters);
}

void ApplicationModel::SaveParametersAsJson(std::string path, Parameters& parameters)
{
    connection->SaveParametersToJson(parameters, std::move(path));
}

void ApplicationModel::CombineParameters(Parameters& target, Parameters& source)
{
    ParameterWalks::Combine(target, source);
}

// ---------------------------------------------------------------------------------------------------------
// Device information

DeviceInformation ApplicationModel::GetDeviceInformation(const std::string& name, bool isDfu)
{
    if (isDfu) {
        return *RequireDfuDevice(name)->GetDeviceInformation();
    }
    SensorDevice* sensor = RequireSensor(name);
    const std::lock_guard<std::mutex> guard(informationLock);
    if (sensor->GetDeviceInformation()->mcuIdentifier.empty()) {
        sensor->SetDeviceInformation(connection->GetDeviceInformation(sensor));
    }
    return *sensor->GetDeviceInformation();
}

int ApplicationModel::IsDeviceParametersVersionSupported(const std::string& name, bool isDfu)
{
    constexpr int noVersion = 0;
    constexpr int deviceIsNewer = 2;
    constexpr int supported = 3;

    const DeviceInformation information = GetDeviceInformation(name, isDfu);
    const ApplicationInformation& application = ApplicationInformation::GetApplicationInformation();
    const std::uint32_t major = information.parametersVersionMajor;
    const std::uint32_t minor = information.parametersVersionMinor;
    if (major == 0 && minor == 0) {
        return noVersion;
    }
    if (major < application.supportedParametersVersionMajor) {
        return supported;
    }
    if (major == application.supportedParametersVersionMajor) {
        return minor <= application.supportedParametersVersionMinor ? supported : deviceIsNewer;
    }
    return deviceIsNewer;
}

std::vector<std::string> ApplicationModel::GetAllFieldNamesForParameterVersion(int major, int minor)
{
    return connection->GetAllFieldNamesForParameterVersion(major, minor);
}
