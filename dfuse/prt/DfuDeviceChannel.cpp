#include "dfuse/prt/DfuDeviceChannel.h"

#include <algorithm>
#include <thread>

#include "io/DfuProtocol.h"

namespace tarnix::dfuse {

namespace {

namespace dfu = tarnix::io::dfu;

constexpr std::size_t kLayoutCapacity = 1024;

std::chrono::milliseconds PollDelay(const DFUSTATUS& status)
{
    const unsigned milliseconds =
        status.bwPollTimeout[0] | (status.bwPollTimeout[1] << 8) | (status.bwPollTimeout[2] << 16);
    return std::chrono::milliseconds(std::clamp(milliseconds, 1u, 1000u));
}

}  // namespace

DfuDeviceChannel::~DfuDeviceChannel()
{
    if (handle_ != nullptr) {
        STDFU_Close(&handle_);
    }
}

std::uint32_t DfuDeviceChannel::Open(const char* deviceLink)
{
    if (handle_ != nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    return STDFU_Open(deviceLink, &handle_);
}

std::uint32_t DfuDeviceChannel::ReadMemoryLayout(std::string& layout)
{
    char buffer[kLayoutCapacity] = {};
    const std::uint32_t status = STDFU_GetMemoryLayout(&handle_, buffer, sizeof buffer);
    if (status == DFUSE_STATUS_SUCCESS) {
        layout = buffer;
    }
    return status;
}

std::uint32_t DfuDeviceChannel::ReadTransferSize(std::uint16_t& size)
{
    DFUDEVICEINFO info{};
    const std::uint32_t status = STDFU_GetDeviceInfo(&handle_, &info);
    if (status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    size = info.wTransferSize;
    return size == 0 ? DFUSE_ERROR_DEVICE_DESCRIPTOR : DFUSE_STATUS_SUCCESS;
}

std::uint32_t DfuDeviceChannel::MakeIdle()
{
    if (const std::uint32_t status = ReadStatus(); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    if (last_.bState == dfu::kStateIdle && last_.bStatus == dfu::kStatusOk) {
        return DFUSE_STATUS_SUCCESS;
    }
    const bool failed = last_.bState == dfu::kStateError || last_.bStatus != dfu::kStatusOk;
    const std::uint32_t reset = failed ? STDFU_Clrstatus(&handle_) : STDFU_Abort(&handle_);
    if (reset != DFUSE_STATUS_SUCCESS) {
        return reset;
    }
    if (const std::uint32_t status = ReadStatus(); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    return last_.bState == dfu::kStateIdle ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_DEVICE_STATUS;
}

std::uint32_t DfuDeviceChannel::EraseSector(std::uint32_t address) { return Command(dfu::kCommandErase, address); }

std::uint32_t DfuDeviceChannel::SetAddressPointer(std::uint32_t address)
{
    return Command(dfu::kCommandSetAddress, address);
}

std::uint32_t DfuDeviceChannel::Download(std::uint16_t block, const std::uint8_t* data, std::uint32_t length)
{
    const std::uint32_t status = STDFU_Dnload(&handle_, const_cast<std::uint8_t*>(data), length, block);
    return status == DFUSE_STATUS_SUCCESS ? AwaitCompletion() : status;
}

std::uint32_t DfuDeviceChannel::Command(std::uint8_t code, std::uint32_t address)
{
    std::uint8_t command[5] = {code, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                               static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
    return Download(0, command, sizeof command);
}

std::uint32_t DfuDeviceChannel::AwaitCompletion()
{
    const auto deadline = std::chrono::steady_clock::now() + kBusyLimit;
    for (;;) {
        if (const std::uint32_t status = ReadStatus(); status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
        if (last_.bStatus != dfu::kStatusOk || last_.bState == dfu::kStateError) {
            STDFU_Clrstatus(&handle_);
            return DFUSE_ERROR_DEVICE_STATUS;
        }
        if (last_.bState == dfu::kStateDnloadIdle || last_.bState == dfu::kStateIdle) {
            return DFUSE_STATUS_SUCCESS;
        }
        if (last_.bState != dfu::kStateDnBusy && last_.bState != dfu::kStateDnloadSync) {
            return DFUSE_ERROR_DEVICE_STATUS;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return DFUSE_ERROR_DEVICE_TIMEOUT;
        }
        std::this_thread::sleep_for(PollDelay(last_));
    }
}

std::uint32_t DfuDeviceChannel::ReadStatus() { return STDFU_Getstatus(&handle_, &last_); }

}  // namespace tarnix::dfuse
