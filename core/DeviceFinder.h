#pragma once

#include <string>
#include <vector>

// What the device search and the command-line device listing call to keep the registry in step with the
// bus: register one new sensor, register one new DFU device, drop the devices that are gone. Holds nothing.
class DeviceFinder {
public:
    DeviceFinder() = delete;

    // Registers at most one new sensor and opens its HID interface; true with its name in `name` when one
    // was registered. A sensor that cannot be opened stays registered and the open's
    // TpError::FailedToGetDeviceHandle reaches the caller.
    static bool FindSensorHidDevice(std::string& name);
    // Registers at most one new DFU device and appends its name to `newNames`; true when one was
    // registered. `incompatibleDrivers` tells whether a DFU device with the wrong driver is plugged in.
    static bool FindDfuDevice(std::vector<std::string>& newNames, bool& incompatibleDrivers);
    // Removes every registered device that is no longer present, DFU devices first.
    static void UpdateFoundDevices();
};
