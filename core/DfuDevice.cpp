#include "core/DfuDevice.h"

#include <utility>

DfuDevice::DfuDevice(std::string path) : Device(std::move(path)) {}

DfuDevice::~DfuDevice() = default;

void** DfuDevice::GetDfuDeviceHandle() { return &dfuDeviceHandle; }

void DfuDevice::SetDfuDeviceHandle(void** handle) { dfuDeviceHandle = handle != nullptr ? *handle : nullptr; }
