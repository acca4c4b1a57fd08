#include "core/SensorDevice.h"

#include <utility>

SensorDevice::SensorDevice(std::string path) : Device(std::string()), usbDevicePath(std::move(path)) {}

SensorDevice::~SensorDevice() = default;

std::string SensorDevice::GetUsbDevicePath() const { return usbDevicePath; }

std::string SensorDevice::GetDeviceDescription() const { return deviceDescription; }

void SensorDevice::SetDeviceDescription(std::string description) { deviceDescription = std::move(description); }

SensorDevice::HidHandle* SensorDevice::GetHidDeviceHandle() { return &hidDeviceHandle; }

void SensorDevice::SetHidDeviceHandle(HidHandle handle) { hidDeviceHandle = std::move(handle); }
