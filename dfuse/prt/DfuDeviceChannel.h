#pragma once

#include "dfuse/DfuseApi.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace tarnix::dfuse {

// A DFU device opened through the STDFU exports, with the DfuSe request sequences built on them: a command
// or a data block is sent, then the status is polled until the device has carried it out.
class DfuDeviceChannel {
public:
    // How long a device may stay busy with one request before the request counts as failed.
    static constexpr std::chrono::milliseconds kBusyLimit{10000};

    DfuDeviceChannel() = default;
    ~DfuDeviceChannel();
    DfuDeviceChannel(const DfuDeviceChannel&) = delete;
    DfuDeviceChannel& operator=(const DfuDeviceChannel&) = delete;

    std::uint32_t Open(const char* deviceLink);
    std::uint32_t ReadMemoryLayout(std::string& layout);
    std::uint32_t ReadTransferSize(std::uint16_t& size);

    // Brings the device to dfuIDLE: clears an error state, aborts an unfinished transfer.
    std::uint32_t MakeIdle();
    std::uint32_t EraseSector(std::uint32_t address);
    std::uint32_t SetAddressPointer(std::uint32_t address);
    std::uint32_t Download(std::uint16_t block, const std::uint8_t* data, std::uint32_t length);

    const DFUSTATUS& LastStatus() const { return last_; }

private:
    std::uint32_t Command(std::uint8_t code, std::uint32_t address);
    std::uint32_t AwaitCompletion();
    std::uint32_t ReadStatus();

    void* handle_ = nullptr;
    DFUSTATUS last_{};
};

}  // namespace tarnix::dfuse
