#pragma once

#include "dfuse/DfuseApi.h"
#include "io/DfuTransport.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tarnix::dfuse {

// One open DFU device: the DFU class requests, checked and sent one at a time, with their results turned
// into library status codes.
class DfuDeviceSession {
public:
    static constexpr std::uint32_t kMaximumTransfer = 0xFFFF;  // wLength of a control request

    explicit DfuDeviceSession(std::unique_ptr<io::DfuTransport> port) : port_(std::move(port)) {}

    std::uint32_t Download(std::uint16_t block, const std::uint8_t* data, std::uint32_t length);
    // Fails with DFUSE_ERROR_SHORT_UPLOAD when the device sends fewer than `length` bytes.
    std::uint32_t Upload(std::uint16_t block, std::uint8_t* data, std::uint32_t length);
    std::uint32_t GetStatus(DFUSTATUS& status);
    std::uint32_t ClearStatus();
    std::uint32_t GetState(std::uint8_t& state);
    std::uint32_t Abort();
    DFUDEVICEINFO Info() const;
    std::string MemoryLayout() const;

private:
    static std::uint32_t Answered(bool answered);

    mutable std::mutex lock_;
    std::unique_ptr<io::DfuTransport> port_;
};

}  // namespace tarnix::dfuse
