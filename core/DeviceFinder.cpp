#include "core/DeviceFinder.h"

#include "core/DeviceHandler.h"
#include "core/Dfu.h"
#include "core/DfuDevice.h"
#include "core/SensorDevice.h"
#include "core/UsbHandler.h"

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
    UsbHandler* const usb = UsbHandler::GetInstance();

    for (const auto& [name, device] : registry->GetDfuDeviceMap()) {
        if (!usb->FindDeviceFromPath(name, true)) {
            registry->DeleteDfuDevice(device);
        }
    }
    for (const auto& [name, device] : registry->GetSensorDeviceMap()) {
        if (!usb->FindDeviceFromPath(name, false)) {
            registry->DeleteSensorDevice(device);
        }
    }
}
