#include "core/DfuDevice.h"

#include <utility>

DfuDevice::DfuDevice(std::string path) : Device(std::move(path)) {}

DfuDevice::~DfuDevice() = default;

void** DfuDevice::GetDfuDeviceHandle() { return &dfuDeviceHandle; }

void DfuDevice::SetDfuDeviceHandle(void** handle) { dfuDeviceHandle = handle != nullptr ? *handle : nullptr; }

void DfuDevice::BeginUse()
{
    const std::lock_guard<std::mutex> guard(useLock);
    ++users;
}

void* DfuDevice::EndUse()
{
    const std::lock_guard<std::mutex> guard(useLock);
    if (users > 0) {
        --users;
    }
    return departed && users == 0 ? TakeHandle() : nullptr;
}

void* DfuDevice::Depart()
{
    const std::lock_guard<std::mutex> guard(useLock);
    departed = true;
    return users == 0 ? TakeHandle() : nullptr;
}

void* DfuDevice::TakeHandle()
{
    if (dfuDeviceHandle == nullptr) {
        return nullptr;
    }
    SetIsConnected(false);
    return std::exchange(dfuDeviceHandle, nullptr);
}
