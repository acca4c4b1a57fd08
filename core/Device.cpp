#include "core/Device.h"

#include <utility>

Device::Device(std::string path) : usbDevicePath(std::move(path)) {}

Device::~Device() = default;

bool Device::GetIsConnected() const { return isConnected.load(); }

void Device::SetIsConnected(bool connected) { isConnected.store(connected); }

std::string Device::GetUsbDevicePath() const { return usbDevicePath; }

std::string Device::GetDeviceSerialNumber() const { return deviceSerialNumber; }

void Device::SetDeviceSerialNumber(std::string serialNumber) { deviceSerialNumber = std::move(serialNumber); }

Parameters* Device::GetParameters() { return &parameters; }

void Device::SetParameters(const Parameters& newParameters)
{
    // Parameters holds its values by value all the way down, so assignment is a deep copy.
    parameters = newParameters;
}

DeviceInformation* Device::GetDeviceInformation() { return &deviceInformation; }

void Device::SetDeviceInformation(DeviceInformation information) { deviceInformation = std::move(information); }
