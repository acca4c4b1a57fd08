#pragma once

#include "core/ApplicationModelEvents.h"
#include "core/DeviceInformation.h"
#include "core/Parameters.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class Connection;
class DfuDevice;
class SensorDevice;

// The one facade of the core for a front end: the device search thread, the firmware write and progress
// threads, and the synchronous sensor operations. Devices are named by their device names.
//
// Rules for the owner: start a thread only while it is idle; call EndSearch, and EndDownloadThread once a
// write was started, before deleting the model (its destructor joins nothing).
class ApplicationModel {
public:
    explicit ApplicationModel(ApplicationModelEvents* events);
    ApplicationModel();
    ~ApplicationModel();

    ApplicationModel(const ApplicationModel&) = delete;
    ApplicationModel& operator=(const ApplicationModel&) = delete;

    // Device search.
    void StartSearchThread();
    void EndSearch();
    void SearchDevices();

    // Firmware check and write.
    void InitFirmwareFileCheck(std::string& path);
    void StartDownloadThread(std::string dfuName, std::string path);
    void WriteFirmwareFile(const std::string& dfuName, std::string path);
    void PollWriteProgress();
    void EndDownloadThread();

    // Mode switches. Unknown names throw TpError::UnableToConnect.
    bool SetDfuMode(std::string sensorName);
    bool SetDfuAndExpectDevice(std::string sensorName, std::string& dfuName);
    // Waits for a DFU device that is neither in `before` (the registry's DFU devices) nor in `presentBefore`
    // (the DFU devices on the bus, registered or not), both taken before the switch was requested; it gets
    // `information`. A record of `before` whose device had left the bus is no device on the bus: its name is
    // taken when the device comes back under it (DeviceArrival). The device search must run, as it is what
    // registers the device.
    bool WaitForExpectedDfuDevice(std::string& dfuName, int timeout, std::map<std::string, DfuDevice*>& before,
                                  DeviceInformation information, const std::set<std::string>& presentBefore);
    void LeaveDfuMode(const std::string& dfuName);
    bool LeaveDfuAndExpectDevice(std::string dfuName, std::string& sensorName);

    // Parameters.
    void Download(const std::string& dfuName, Parameters& parameters);
    void Download(const std::string& dfuName, const std::string& schemaPath, const std::string& jsonPath);
    void Upload(const std::string& dfuName, Parameters& parameters);
    void Upload(const std::string& dfuName, const std::string& schemaPath, const std::string& jsonPath);
    void GetParametersFromJson(std::string path, Parameters& parameters);
    void SaveParametersAsJson(std::string path, Parameters& parameters);
    static void CombineParameters(Parameters& target, Parameters& source);

    // Device information and the parameter schema check: 0 = the device reports no version,
    // 2 = the device is newer than this program, 3 = supported.
    DeviceInformation GetDeviceInformation(const std::string& name, bool isDfu);
    int IsDeviceParametersVersionSupported(const std::string& name, bool isDfu);
    std::vector<std::string> GetAllFieldNamesForParameterVersion(int major, int minor);

private:
    static constexpr int searchPauseMs = 50;
    static constexpr int pollPauseMs = 50;
    static constexpr int dfuAppearanceTimeoutMs = 4000;
    static constexpr int sensorReturnLimitMs = 7999;

    void SearchPass(std::vector<std::string>& newDfuNames);
    void AnnounceNewDevices(std::vector<std::string>& newDfuNames);
    void ReportRemovedDevices();
    SensorDevice* RequireSensor(const std::string& name);
    DfuDevice* RequireDfuDevice(const std::string& name);

    ApplicationModelEvents* events;
    std::unique_ptr<Connection> connection;
    // Held while a sensor's information is read from it and stored, and while a caller looks at it: the search
    // thread holds it from before it registers a new sensor until it has opened it and stored its information,
    // so a caller that meets the sensor in the registry meanwhile waits for that read instead of making a
    // second one, on a handle not yet open or with requests and answers interleaved with the first.
    std::mutex informationLock;
    std::thread searchThread;
    std::thread writeThread;
    std::thread progressThread;
    std::atomic<bool> searching{false};
    // The search passes begun and ended, for telling a record the search keeps from one it may still drop.
    std::atomic<unsigned long> searchPassesBegun{0};
    std::atomic<unsigned long> searchPassesEnded{0};
    std::atomic<bool> downloading{false};
};
