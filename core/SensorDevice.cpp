#include "core/SensorDevice.h"

#include <utility>

SensorDevice::SensorDevice(std::string path) : Device(std::string()), usbDevicePath(std::move(path)) {}

SensorDevice::~SensorDevice() = default;

std::string SensorDevice::GetUsbDevicePath() const { return usbDevicePath; }

std::string SensorDevice::GetDeviceDescription() const { return deviceDescription; }

void SensorDevice::SetDeviceDescription(std::string description) { deviceDescription = std::move(description); }

SensorDevice::HidHandle SensorDevice::GetHidDeviceHandle() const
{
    const std::lock_guard<std::mutex> guard(handleLock);
    return hidDeviceHandle;
}

void SensorDevice::SetHidDeviceHandle(HidHandle handle)
{
    // Declared before the guard, so the old interface is closed after the lock is given back.
    HidHandle previous;
    const std::lock_guard<std::mutex> guard(handleLock);
    previous = std::exchange(hidDeviceHandle, std::move(handle));
}

void SensorDevice::ReleaseHidDeviceHandle()
{
    SetIsConnected(false);
    SetHidDeviceHandle(nullptr);
}
