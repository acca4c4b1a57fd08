#include "dfuse/stdfu/DfuDeviceSession.h"

namespace tarnix::dfuse {

std::uint32_t DfuDeviceSession::Download(std::uint16_t block, const std::uint8_t* data, std::uint32_t length)
{
    if ((data == nullptr && length != 0) || length > kMaximumTransfer) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    std::lock_guard<std::mutex> guard(lock_);
    return Answered(port_->Dnload(block, data, length));
}

std::uint32_t DfuDeviceSession::Upload(std::uint16_t block, std::uint8_t* data, std::uint32_t length)
{
    if (data == nullptr || length == 0 || length > kMaximumTransfer) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    std::size_t received = 0;
    std::lock_guard<std::mutex> guard(lock_);
    if (!port_->Upload(block, data, length, received)) {
        return DFUSE_ERROR_REQUEST_FAILED;
    }
    return received == length ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_SHORT_UPLOAD;
}

std::uint32_t DfuDeviceSession::GetStatus(DFUSTATUS& status)
{
    io::DfuStatusReport report;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!port_->GetStatus(report)) {
            return DFUSE_ERROR_REQUEST_FAILED;
        }
    }
    status.bStatus = report.status;
    status.bwPollTimeout[0] = static_cast<std::uint8_t>(report.pollTimeoutMs & 0xFFu);
    status.bwPollTimeout[1] = static_cast<std::uint8_t>((report.pollTimeoutMs >> 8) & 0xFFu);
    status.bwPollTimeout[2] = static_cast<std::uint8_t>((report.pollTimeoutMs >> 16) & 0xFFu);
    status.bState = report.state;
    status.iString = report.stringIndex;
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t DfuDeviceSession::ClearStatus()
{
    std::lock_guard<std::mutex> guard(lock_);
    return Answered(port_->ClearStatus());
}

std::uint32_t DfuDeviceSession::GetState(std::uint8_t& state)
{
    std::lock_guard<std::mutex> guard(lock_);
    return Answered(port_->GetState(state));
}

std::uint32_t DfuDeviceSession::Abort()
{
    std::lock_guard<std::mutex> guard(lock_);
    return Answered(port_->Abort());
}

DFUDEVICEINFO DfuDeviceSession::Info() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return DFUDEVICEINFO{port_->VendorId(), port_->ProductId(), port_->BcdDevice(), port_->TransferSize()};
}

std::string DfuDeviceSession::MemoryLayout() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return port_->MemoryLayout();
}

std::uint32_t DfuDeviceSession::Answered(bool answered)
{
    return answered ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_REQUEST_FAILED;
}

}  // namespace tarnix::dfuse
