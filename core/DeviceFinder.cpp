#include "core/DeviceFinder.h"

#include "core/DeviceHandler.h"
#include "core/Dfu.h"
#include "core/DfuDevice.h"
#include "core/SensorDevice.h"
#include "core/UsbHandler.h"

#include <map>
#include <set>

namespace {

// Deletes every registered device of one class whose name is no longer present. One enumeration serves all
// of them (the search asks every 50 ms), and none is made while no device of the class is registered.
template <typename Record, typename Delete>
void DropVanished(const std::map<std::string, Record*>& registered, bool usbDeviceInterface, Delete remove)
{
    if (registered.empty()) {
        return;
    }
    const std::set<std::string> present = UsbHandler::GetInstance()->GetPresentDevicePaths(usbDeviceInterface);
    for (const auto& [name, device] : registered) {
        if (present.count(name) == 0) {
            remove(device);
        }
    }
}

}  // namespace

bool DeviceFinder::FindSensorHidDevice(std::string& name)
{
    DeviceHandler* const registry = DeviceHandler::GetInstance();
    if (!UsbHandler::GetInstance()->FindSensorDevicePath(name) || registry->SensorDeviceExists(name)) {
        return false;
    }
    registry->CreateNewSensorDevice(name);
    UsbHandler::GetInstance()->GetSensorDeviceHandle(registry->GetSensorDevice(name));
    return true;
}

bool DeviceFinder::FindDfuDevice(std::vector<std::string>& newNames, bool& incompatibleDrivers)
{
    std::vector<std::string> paths;
    Dfu::GetInstance().GetUsbDfuIndexes(paths, incompatibleDrivers);

    DeviceHandler* const registry = DeviceHandler::GetInstance();
    bool registered = false;
    for (const std::string& path : paths) {
        if (!registry->DfuDeviceExists(path)) {
            registry->CreateNewDfuDevice(path);
            newNames.push_back(path);
            registered = true;
        }
    }
    return registered;
}

void DeviceFinder::UpdateFoundDevices()
{
    // Discovery always runs with the DFU layer up; creating it loads the DFU libraries once.
    Dfu::GetInstance();
    DeviceHandler* const registry = DeviceHandler::GetInstance();
    DropVanished(registry->GetDfuDeviceMap(), true,
                 [registry](DfuDevice* device) { registry->DeleteDfuDevice(device); });
    DropVanished(registry->GetSensorDeviceMap(), false,
                 [registry](SensorDevice* device) { registry->DeleteSensorDevice(device); });
}
