#include "core/DeviceHandler.h"

#include "core/DfuDevice.h"
#include "core/SensorDevice.h"

#include <iostream>
#include <stdexcept>
#include <utility>

namespace {

// A lookup that misses reports the standard library's own text and answers null.
template <typename Record>
Record* LookUp(const std::map<std::string, Record*>& devices, const std::string& name)
{
    try {
        return devices.at(name);
    } catch (const std::out_of_range& error) {
        std::cerr << "Out of Range error: " << error.what() << std::endl;
        return nullptr;
    }
}

// Drops the device's name when that name still leads to this very record. The name is read through the
// record's own type, so a sensor answers its HID interface path.
template <typename Record>
bool ForgetIfRegistered(std::map<std::string, Record*>& devices, std::vector<std::string>& removed, Record* device)
{
    if (device == nullptr) {
        return false;
    }
    const std::string name = device->GetUsbDevicePath();
    const auto entry = devices.find(name);
    if (entry == devices.end() || entry->second != device) {
        return false;
    }
    removed.push_back(name);
    devices.erase(entry);
    return true;
}

// Empties a map, answering the records it held.
template <typename Record>
std::map<std::string, Record*> TakeAll(std::map<std::string, Record*>& devices)
{
    std::map<std::string, Record*> taken;
    taken.swap(devices);
    return taken;
}

}  // namespace

DeviceHandler::DeviceHandler() = default;

DeviceHandler::~DeviceHandler() = default;

DeviceHandler* DeviceHandler::GetInstance()
{
    static DeviceHandler instance;
    return &instance;
}

template <typename Record>
Record* DeviceHandler::Adopt(std::unique_ptr<Record> record)
{
    Record* const device = record.get();
    ownedDevices.push_back(std::move(record));
    return device;
}

bool DeviceHandler::SensorDeviceExists(std::string name)
{
    const std::lock_guard<std::mutex> guard(lock);
    return sensorDevices.count(name) != 0;
}

bool DeviceHandler::DfuDeviceExists(const std::string& name)
{
    const std::lock_guard<std::mutex> guard(lock);
    return dfuDevices.count(name) != 0;
}

SensorDevice* DeviceHandler::GetSensorDevice(std::string name)
{
    const std::lock_guard<std::mutex> guard(lock);
    return LookUp(sensorDevices, name);
}

DfuDevice* DeviceHandler::GetDfuDevice(const std::string& name)
{
    const std::lock_guard<std::mutex> guard(lock);
    return LookUp(dfuDevices, name);
}

void DeviceHandler::CreateNewSensorDevice(std::string name)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (sensorDevices.count(name) == 0) {
        sensorDevices.emplace(name, Adopt(std::make_unique<SensorDevice>(name)));
    }
}

void DeviceHandler::CreateNewDfuDevice(std::string name)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (dfuDevices.count(name) == 0) {
        dfuDevices.emplace(name, Adopt(std::make_unique<DfuDevice>(name)));
    }
}

void DeviceHandler::Release(SensorDevice* device) { device->ReleaseHidDeviceHandle(); }

void DeviceHandler::Release(DfuDevice* device) { device->Depart(); }

void DeviceHandler::DeleteSensorDevice(SensorDevice* device)
{
    std::unique_lock<std::mutex> guard(lock);
    const bool dropped = ForgetIfRegistered(sensorDevices, removedSensorDevices, device);
    guard.unlock();
    if (dropped) {
        Release(device);
    }
}

void DeviceHandler::DeleteDfuDevice(DfuDevice* device)
{
    std::unique_lock<std::mutex> guard(lock);
    const bool dropped = ForgetIfRegistered(dfuDevices, removedDfuDevices, device);
    guard.unlock();
    if (dropped) {
        Release(device);
    }
}

std::map<std::string, SensorDevice*> DeviceHandler::GetSensorDeviceMap()
{
    const std::lock_guard<std::mutex> guard(lock);
    return sensorDevices;
}

std::map<std::string, DfuDevice*> DeviceHandler::GetDfuDeviceMap()
{
    const std::lock_guard<std::mutex> guard(lock);
    return dfuDevices;
}

std::vector<std::string> DeviceHandler::GetRemovedSensorDeviceVector()
{
    const std::lock_guard<std::mutex> guard(lock);
    return removedSensorDevices;
}

std::vector<std::string> DeviceHandler::GetRemovedDfuDeviceVector()
{
    const std::lock_guard<std::mutex> guard(lock);
    return removedDfuDevices;
}

void DeviceHandler::ClearRemovedDeviceVectors()
{
    const std::lock_guard<std::mutex> guard(lock);
    removedDfuDevices.clear();
    removedSensorDevices.clear();
}

void DeviceHandler::ClearDeviceMaps()
{
    std::unique_lock<std::mutex> guard(lock);
    const std::map<std::string, SensorDevice*> sensors = TakeAll(sensorDevices);
    const std::map<std::string, DfuDevice*> dfus = TakeAll(dfuDevices);
    guard.unlock();
    for (const auto& entry : sensors) {
        Release(entry.second);
    }
    for (const auto& entry : dfus) {
        Release(entry.second);
    }
}
