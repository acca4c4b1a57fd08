#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Device;
class DfuDevice;
class SensorDevice;

// The process-wide registry of the devices that discovery found: device name -> record, one map for
// sensors in normal mode and one for DFU devices, plus the names that disappeared since the last clear.
// The registry owns every record it ever made and frees none while the process runs, so a pointer handed
// out once stays valid after the device is gone. Every operation runs under one lock, so the discovery
// thread, the front end's thread and the firmware write thread may call it at the same time; callers walk
// copies of the maps and lists.
//
// A device's OS handle lives only as long as its entry: once a record has left the registry its handle is
// closed, so a program that sees many devices come and go keeps no descriptor of the gone ones.
class DeviceHandler {
public:
    static DeviceHandler* GetInstance();

    DeviceHandler(const DeviceHandler&) = delete;
    DeviceHandler& operator=(const DeviceHandler&) = delete;

    bool SensorDeviceExists(std::string name);
    bool DfuDeviceExists(const std::string& name);

    // The record under `name`; on a miss, one "Out of Range error: map::at" line on stderr and null.
    SensorDevice* GetSensorDevice(std::string name);
    DfuDevice* GetDfuDevice(const std::string& name);

    // Insert-if-absent: a name that is already a key keeps its record.
    void CreateNewSensorDevice(std::string name);
    void CreateNewDfuDevice(std::string name);

    // Records the device's name as removed and drops its entry; the record stays allocated but lets go of
    // its OS handle (closed at once, or by the operation still using it when that ends). Only the record
    // currently registered under its name is removed, so a stale pointer cannot drop the newer record of a
    // device that came back under the same name.
    void DeleteSensorDevice(SensorDevice* device);
    void DeleteDfuDevice(DfuDevice* device);

    std::map<std::string, SensorDevice*> GetSensorDeviceMap();
    std::map<std::string, DfuDevice*> GetDfuDeviceMap();
    std::vector<std::string> GetRemovedSensorDeviceVector();
    std::vector<std::string> GetRemovedDfuDeviceVector();

    void ClearRemovedDeviceVectors();
    // Forgets every name; the records stay allocated, let go of their handles as above, and the
    // removed-name lists are kept.
    void ClearDeviceMaps();

private:
    DeviceHandler();
    ~DeviceHandler();

    template <typename Record>
    Record* Adopt(std::unique_ptr<Record> record);
    // A record that has left the registry closes its handle; called outside the lock, as closing talks to
    // the device.
    static void Release(SensorDevice* device);
    static void Release(DfuDevice* device);

    std::mutex lock;
    std::map<std::string, SensorDevice*> sensorDevices;
    std::map<std::string, DfuDevice*> dfuDevices;
    std::vector<std::string> removedDfuDevices;
    std::vector<std::string> removedSensorDevices;
    // Every record ever created, in creation order; never pruned.
    std::vector<std::unique_ptr<Device>> ownedDevices;
};
