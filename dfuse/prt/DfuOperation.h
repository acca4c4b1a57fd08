#pragma once

#include "dfuse/DfuseApi.h"
#include "dfuse/common/ImageElement.h"
#include "dfuse/common/SectorMap.h"
#include "dfuse/prt/DfuDeviceChannel.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnix::dfuse {

// What an erase or programming operation works on.
struct OperationRequest {
    std::uint32_t operation = 0;    // DFUSE_OPERATION_ERASE or DFUSE_OPERATION_PROGRAM
    bool skipErasedBlocks = false;  // blocks made only of 0xFF are not sent when programming
    std::string deviceLink;
    std::vector<ImageElement> elements;
};

// Erases the sectors an image covers, or programs the image, on a thread of its own. The thread opens the
// device itself; progress (0 to 100, 100 only once everything succeeded) and the error code can be read at
// any time from other threads.
class DfuOperation {
public:
    explicit DfuOperation(OperationRequest request);
    ~DfuOperation();
    DfuOperation(const DfuOperation&) = delete;
    DfuOperation& operator=(const DfuOperation&) = delete;

    void Start();
    // Asks the thread to stop after its current request and waits for it.
    void Stop();

    bool Finished() const { return finished_; }
    bool Succeeded() const { return finished_ && errorCode_ == DFUSE_STATUS_SUCCESS; }
    std::uint32_t ErrorCode() const { return errorCode_; }
    // Copies Percent, ErrorCode and the details of the current request into the context.
    void Report(DFUThreadContext& context) const;

private:
    struct Details {
        DFUSTATUS lastStatus{};
        std::uint32_t request = DFUSE_REQUEST_NONE;
        std::uint32_t block = 0;
        std::uint32_t length = 0;
        std::uint32_t address = 0;
        std::uint32_t element = 0;
    };

    void Run();
    std::uint32_t Execute(DfuDeviceChannel& channel);
    std::uint32_t Erase(DfuDeviceChannel& channel);
    std::uint32_t CollectSectors(const SectorMap& sectors, std::vector<std::uint32_t>& starts) const;
    std::uint32_t Program(DfuDeviceChannel& channel);
    std::uint32_t ProgramElement(DfuDeviceChannel& channel, std::uint32_t index, std::uint16_t transferSize,
                                 std::uint64_t& done, std::uint64_t total);
    bool ShouldSend(const std::uint8_t* data, std::uint32_t length) const;
    void Note(const DfuDeviceChannel& channel, std::uint32_t request, std::uint32_t address, std::uint32_t block = 0,
              std::uint32_t length = 0);
    void SetProgress(std::uint64_t done, std::uint64_t total);

    const OperationRequest request_;
    std::thread thread_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::uint8_t> percent_{0};
    std::atomic<std::uint32_t> errorCode_{DFUSE_STATUS_SUCCESS};
    mutable std::mutex detailsLock_;
    Details details_;
};

}  // namespace tarnix::dfuse
