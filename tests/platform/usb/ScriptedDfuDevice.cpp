#include "tests/platform/usb/ScriptedDfuDevice.h"

#include "tests/platform/usb/UsbRecords.h"

#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace tarnix::test {

namespace {

constexpr std::uint8_t kDfuDnload = 1;
constexpr std::uint8_t kDfuUpload = 2;
constexpr std::uint8_t kDfuGetStatus = 3;
constexpr std::uint8_t kDfuClrStatus = 4;
constexpr std::uint8_t kDfuGetState = 5;
constexpr std::uint8_t kDfuAbort = 6;

constexpr std::uint8_t kIdle = 2;
constexpr std::uint8_t kDnloadIdle = 5;
constexpr std::uint8_t kManifestSync = 6;
constexpr std::uint8_t kManifest = 7;
constexpr std::uint8_t kUploadIdle = 9;

constexpr int kStalled = -EPIPE;

std::string ControlLine(const usbdevfs_ctrltransfer& transfer)
{
    char line[80];
    std::snprintf(line, sizeof line, "control %02x %02x %04x %04x %u %u", transfer.bRequestType, transfer.bRequest,
                  transfer.wValue, transfer.wIndex, transfer.wLength, transfer.timeout);
    return line;
}

sim::IoctlAnswer Answered(int error)
{
    return error == 0 ? sim::IoctlAnswer::Success(0) : sim::IoctlAnswer::Failure(error);
}

}  // namespace

// The bootloader's strings: the language list and the memory layout (string 4).
ScriptedDfuDevice::ScriptedDfuDevice() : descriptors_{{}, {}, {{4, usb_records::kMemoryLayout}}} {}

std::uint8_t ScriptedDfuDevice::Pattern(std::uint16_t block, std::size_t index)
{
    return static_cast<std::uint8_t>(block * 7 + index * 13);
}

void ScriptedDfuDevice::BindDriver(const std::string& driver)
{
    std::lock_guard<std::mutex> guard(mutex_);
    driver_ = driver;
}

std::string ScriptedDfuDevice::BoundDriver() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return driver_;
}

void ScriptedDfuDevice::SetInterfaceErrors(int claim, int setInterface)
{
    std::lock_guard<std::mutex> guard(mutex_);
    claimError_ = claim;
    setInterfaceError_ = setInterface;
}

void ScriptedDfuDevice::Stall(std::uint8_t dfuRequest)
{
    std::lock_guard<std::mutex> guard(mutex_);
    stalled_.insert(dfuRequest);
}

void ScriptedDfuDevice::HoldNextUpload()
{
    std::lock_guard<std::mutex> guard(mutex_);
    holdNextUpload_ = true;
}

bool ScriptedDfuDevice::WaitForHeldUpload(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return heldChanged_.wait_for(lock, timeout, [this] { return held_ != nullptr; });
}

void ScriptedDfuDevice::FailHeldUpload(int error)
{
    std::unique_ptr<sim::IoctlCall> call;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        call = std::move(held_);
    }
    if (call) {
        call->Complete(sim::IoctlAnswer::Failure(error));
    }
}

std::vector<std::string> ScriptedDfuDevice::Log() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return log_;
}

std::vector<std::vector<std::uint8_t>> ScriptedDfuDevice::Downloads() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return downloads_;
}

bool ScriptedDfuDevice::HasLeftDfuMode() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return left_;
}

void ScriptedDfuDevice::AddLog(const std::string& line)
{
    std::lock_guard<std::mutex> guard(mutex_);
    log_.push_back(line);
}

sim::IoctlAnswer ScriptedDfuDevice::Answer(sim::IoctlCall& call) { return Serve(call); }

sim::IoctlAnswer ScriptedDfuDevice::ClaimInterface()
{
    AddLog("claim 0");
    std::lock_guard<std::mutex> guard(mutex_);
    return Answered(driver_.empty() ? ClaimLocked() : EBUSY);
}

sim::IoctlAnswer ScriptedDfuDevice::ReleaseInterface()
{
    AddLog("release 0");
    std::lock_guard<std::mutex> guard(mutex_);
    driver_.clear();
    return Answered(0);
}

sim::IoctlAnswer ScriptedDfuDevice::SetInterface(unsigned int setting)
{
    AddLog("setinterface 0 " + std::to_string(setting));
    std::lock_guard<std::mutex> guard(mutex_);
    return Answered(setInterfaceError_);
}

sim::IoctlAnswer ScriptedDfuDevice::Disconnect()
{
    AddLog("disconnect 0");
    std::lock_guard<std::mutex> guard(mutex_);
    const bool bound = !driver_.empty();
    driver_.clear();
    return Answered(bound ? 0 : ENODATA);
}

sim::IoctlAnswer ScriptedDfuDevice::DisconnectClaim(const DriverCondition& condition)
{
    AddLog("disconnect-claim 0 " + (condition.exceptNamed ? "except " + condition.named
                                    : condition.onlyNamed ? "if " + condition.named
                                                          : std::string("always")));
    std::lock_guard<std::mutex> guard(mutex_);
    if (!driver_.empty() && !condition.AllowsDetaching(driver_)) {
        return Answered(EBUSY);
    }
    return Answered(ClaimLocked());
}

std::string ScriptedDfuDevice::InterfaceDriver() { return BoundDriver(); }

int ScriptedDfuDevice::ClaimLocked()
{
    driver_ = claimError_ == 0 ? "usbfs" : "";
    return claimError_;
}

sim::IoctlAnswer ScriptedDfuDevice::Control(sim::IoctlCall& call, const usbdevfs_ctrltransfer& transfer,
                                            std::uint8_t* data)
{
    AddLog(ControlLine(transfer));
    if (transfer.bRequestType == sim::DescriptorTable::kStandardIn) {
        return descriptors_.Answer(transfer, data);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (transfer.bRequest == kDfuUpload && transfer.bRequestType == 0xA1 && holdNextUpload_) {
        holdNextUpload_ = false;
        held_ = std::make_unique<sim::IoctlCall>(std::move(call));
        heldChanged_.notify_all();
        return sim::IoctlAnswer::Failure(EIO);  // goes nowhere: the held call is answered later
    }
    int result = kStalled;
    if ((transfer.bRequestType == 0x21 || transfer.bRequestType == 0xA1) && transfer.wIndex == 0) {
        result = ClassRequest(transfer.bRequest, transfer.wValue, data, transfer.wLength);
    }
    return result < 0 ? sim::IoctlAnswer::Failure(-result) : sim::IoctlAnswer::Success(result);
}

int ScriptedDfuDevice::ClassRequest(std::uint8_t request, std::uint16_t value, std::uint8_t* data, std::size_t length)
{
    if (stalled_.count(request) != 0) {
        return kStalled;
    }
    switch (request) {
        case kDfuDnload:
            downloads_.emplace_back(data, data + length);
            state_ = length == 0 ? kManifestSync : kDnloadIdle;
            return static_cast<int>(length);
        case kDfuUpload:
            for (std::size_t i = 0; i < length; ++i) {
                data[i] = Pattern(value, i);
            }
            state_ = kUploadIdle;
            return static_cast<int>(length);
        case kDfuGetStatus: {
            if (state_ == kManifestSync) {
                state_ = kManifest;
                left_ = true;
            }
            const std::uint8_t status[] = {0x00, 0x0A, 0x00, 0x00, state_, 0x00};
            const std::size_t count = std::min(sizeof status, length);
            std::copy_n(status, count, data);
            return static_cast<int>(count);
        }
        case kDfuClrStatus:
        case kDfuAbort:
            state_ = kIdle;
            return 0;
        case kDfuGetState:
            if (length >= 1) {
                data[0] = state_;
            }
            return std::min<int>(1, static_cast<int>(length));
        default:
            return kStalled;
    }
}

}  // namespace tarnix::test
