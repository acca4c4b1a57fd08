#include "core/DfuDevice.h"

#include <utility>

DfuDevice::DfuDevice(std::string path) : Device(std::move(path)) {}

DfuDevice::~DfuDevice() = default;

void** DfuDevice::GetDfuDeviceHandle() { return &dfuDeviceHandle; }

void DfuDevice::SetDfuDeviceHandle(void** handle) { dfuDeviceHandle = handle != nullptr ? *handle : nullptr; }

void DfuDevice::BeginUse(HandleCloser closer)
{
    const std::lock_guard<std::mutex> guard(useLock);
    ++users;
    handleCloser = std::move(closer);
}

void DfuDevice::EndUse()
{
    std::unique_lock<std::mutex> guard(useLock);
    if (users > 0) {
        --users;
    }
    CloseTaken(departed && users == 0 ? TakeHandle() : nullptr, guard);
}

void DfuDevice::Depart()
{
    std::unique_lock<std::mutex> guard(useLock);
    departed = true;
    CloseTaken(users == 0 ? TakeHandle() : nullptr, guard);
}

void* DfuDevice::TakeHandle()
{
    if (dfuDeviceHandle == nullptr) {
        return nullptr;
    }
    SetIsConnected(false);
    return std::exchange(dfuDeviceHandle, nullptr);
}

void DfuDevice::CloseTaken(void* handle, std::unique_lock<std::mutex>& guard)
{
    const HandleCloser closer = handle != nullptr ? handleCloser : nullptr;
    guard.unlock();
    if (closer) {
        closer(handle);
    }
}
