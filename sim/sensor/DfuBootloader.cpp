#include "sim/sensor/DfuBootloader.h"

#include <algorithm>
#include <array>
#include <vector>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/FlashMemory.h"

namespace tarnix::sim {

namespace {

namespace dfu = io::dfu;

constexpr std::array<std::uint8_t, 3> kCommandList{dfu::kCommandGetCommands, dfu::kCommandSetAddress,
                                                   dfu::kCommandErase};
constexpr std::size_t kAddressCommandLength = 5;
constexpr std::uint32_t kPollTimeoutAfterDownloadMs = 1;

std::uint32_t ReadLe32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

DfuOutcome NotAnswered()
{
    DfuOutcome outcome;
    outcome.answered = false;
    return outcome;
}

}  // namespace

DfuBootloader::DfuBootloader(DfuRegisters& registers, Fault fault, bool faultOnce)
    : registers_(registers), fault_(fault), faultOnce_(faultOnce)
{
}

DfuOutcome DfuBootloader::Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length, FlashMemory& flash)
{
    if (registers_.stalled) {
        return NotAnswered();
    }
    if (HangStrikes()) {
        return Struck(NotAnswered());
    }
    if (registers_.state != dfu::kStateIdle && registers_.state != dfu::kStateDnloadIdle) {
        return Stall(dfu::kErrStalledPkt);
    }
    if (length > kDfuTransferSize || (length > 0 && data == nullptr)) {
        return Stall(dfu::kErrStalledPkt);
    }
    if (length == 0) {
        return RequestLeave();
    }
    if (block == 0) {
        return Command(data, length, flash);
    }
    if (block == 1) {
        return Stall(dfu::kErrStalledPkt);
    }
    return WriteData(block, data, length, flash);
}

DfuOutcome DfuBootloader::Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received,
                                 const FlashMemory& flash)
{
    received = 0;
    if (registers_.stalled) {
        return NotAnswered();
    }
    if (HangStrikes()) {
        return Struck(NotAnswered());
    }
    if (registers_.state != dfu::kStateIdle && registers_.state != dfu::kStateUploadIdle) {
        return Stall(dfu::kErrStalledPkt);
    }
    if (length > kDfuTransferSize || (length > 0 && data == nullptr) || block == 1) {
        return Stall(dfu::kErrStalledPkt);
    }
    if (block == 0) {
        received = std::min(length, kCommandList.size());
        std::copy_n(kCommandList.begin(), received, data);
        return Done(dfu::kStateUploadIdle);
    }
    return ReadData(block, data, length, received, flash);
}

DfuOutcome DfuBootloader::GetStatus(io::DfuStatusReport& report)
{
    if (registers_.stalled) {
        return NotAnswered();
    }
    report = io::DfuStatusReport{};
    if (registers_.leavePending) {
        registers_.leavePending = false;
        report.status = dfu::kStatusOk;
        report.state = dfu::kStateManifest;
        DfuOutcome outcome;
        outcome.event = DfuEvent::LeaveDfuMode;
        return outcome;
    }
    report.status = registers_.status;
    report.state = registers_.state;
    report.pollTimeoutMs = registers_.state == dfu::kStateDnloadIdle ? kPollTimeoutAfterDownloadMs : 0;
    return DfuOutcome{};
}

DfuOutcome DfuBootloader::GetState(std::uint8_t& state)
{
    if (registers_.stalled) {
        return NotAnswered();
    }
    state = registers_.leavePending ? dfu::kStateManifest : registers_.state;
    return DfuOutcome{};
}

DfuOutcome DfuBootloader::ClearStatus()
{
    if (registers_.stalled) {
        return NotAnswered();
    }
    registers_.status = dfu::kStatusOk;
    registers_.leavePending = false;
    return Done(dfu::kStateIdle);
}

DfuOutcome DfuBootloader::Abort() { return ClearStatus(); }

DfuOutcome DfuBootloader::Command(const std::uint8_t* data, std::size_t length, FlashMemory& flash)
{
    const std::uint8_t command = data[0];
    if (command == dfu::kCommandSetAddress && length == kAddressCommandLength) {
        return SetAddress(ReadLe32(data + 1));
    }
    if (command == dfu::kCommandErase && length == kAddressCommandLength) {
        return ErasePage(ReadLe32(data + 1), flash);
    }
    if (command == dfu::kCommandErase && length == 1) {
        return EraseAll(flash);
    }
    return Stall(dfu::kErrStalledPkt);
}

DfuOutcome DfuBootloader::SetAddress(std::uint32_t address)
{
    if (fault_ == Fault::Address) {
        return Struck(Stall(dfu::kErrTarget));
    }
    if (!FlashMemory::Contains(address, 0)) {
        return Refuse(dfu::kErrTarget);
    }
    registers_.addressPointer = address;
    return Done(dfu::kStateDnloadIdle);
}

DfuOutcome DfuBootloader::ErasePage(std::uint32_t address, FlashMemory& flash)
{
    if (fault_ == Fault::Erase) {
        return Struck(CutShortErase(address, flash));
    }
    if (!flash.ErasePage(address)) {
        return Refuse(dfu::kErrTarget);
    }
    DfuOutcome outcome = Done(dfu::kStateDnloadIdle);
    outcome.busyPages = 1;
    outcome.flashChanged = true;
    return outcome;
}

// An erase that broke off half-way: the second half of the page is blank, the first half as it was, and
// the command is not answered.
DfuOutcome DfuBootloader::CutShortErase(std::uint32_t address, FlashMemory& flash)
{
    DfuOutcome outcome = Stall(dfu::kErrErase);
    if (FlashMemory::Contains(address, 0)) {
        const std::uint32_t pageStart = address - (address - kFlashBase) % kFlashPageSize;
        const std::vector<std::uint8_t> blank(kFlashPageSize / 2, 0xFF);
        flash.Overwrite(pageStart + kFlashPageSize / 2, blank.data(), blank.size());
        outcome.flashChanged = true;
    }
    return outcome;
}

DfuOutcome DfuBootloader::EraseAll(FlashMemory& flash)
{
    if (fault_ == Fault::Erase) {
        return Struck(Stall(dfu::kErrErase));
    }
    flash.EraseAll();
    DfuOutcome outcome = Done(dfu::kStateDnloadIdle);
    outcome.busyPages = kFlashPageCount;
    outcome.flashChanged = true;
    return outcome;
}

DfuOutcome DfuBootloader::RequestLeave()
{
    if (fault_ == Fault::Leave) {
        return Struck(Stall(dfu::kErrNotDone));
    }
    registers_.leavePending = true;
    return DfuOutcome{};
}

DfuOutcome DfuBootloader::WriteData(std::uint16_t block, const std::uint8_t* data, std::size_t length,
                                    FlashMemory& flash)
{
    switch (fault_) {
        case Fault::Stall:
            registers_.stalled = !faultOnce_;
            return Struck(NotAnswered());
        case Fault::Unplug: {
            DfuOutcome outcome = NotAnswered();
            outcome.event = DfuEvent::DropOffBus;
            return Struck(outcome);
        }
        case Fault::Download:
            return Struck(Stall(dfu::kErrWrite));
        default:
            break;
    }
    const auto address = DataAddress(block, length);
    if (!address) {
        return Refuse(dfu::kErrAddress);
    }
    if (fault_ == Fault::Program) {
        return Struck(Refuse(dfu::kErrProg));
    }
    std::vector<std::uint8_t> bytes(data, data + length);
    if (fault_ == Fault::Corrupt) {
        bytes[0] ^= 0x01;
    }
    if (!flash.CanProgram(*address, bytes.data(), bytes.size())) {
        return Refuse(dfu::kErrCheckErased);
    }
    flash.Program(*address, bytes.data(), bytes.size());
    registers_.hangPending = fault_ == Fault::Hang;
    DfuOutcome outcome = Done(dfu::kStateDnloadIdle);
    outcome.busyPages = FlashMemory::PagesTouched(*address, length);
    outcome.flashChanged = true;
    outcome.faultStruck = fault_ == Fault::Corrupt;
    return outcome;
}

DfuOutcome DfuBootloader::ReadData(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received,
                                   const FlashMemory& flash)
{
    if (fault_ == Fault::Upload) {
        return Struck(Stall(dfu::kErrUnknown));
    }
    const auto address = DataAddress(block, length);
    if (!address || !flash.Read(*address, data, length)) {
        return Refuse(dfu::kErrAddress);
    }
    received = length;
    return Done(dfu::kStateUploadIdle);
}

std::optional<std::uint32_t> DfuBootloader::DataAddress(std::uint16_t block, std::size_t length) const
{
    if (!registers_.addressPointer) {
        return std::nullopt;
    }
    const std::uint64_t address =
        static_cast<std::uint64_t>(*registers_.addressPointer) + static_cast<std::uint64_t>(block - 2) * length;
    if (address > UINT32_MAX || !FlashMemory::Contains(static_cast<std::uint32_t>(address), length)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(address);
}

DfuOutcome DfuBootloader::Refuse(std::uint8_t status)
{
    registers_.state = dfu::kStateError;
    registers_.status = status;
    return DfuOutcome{};
}

DfuOutcome DfuBootloader::Stall(std::uint8_t status)
{
    if (registers_.state != dfu::kStateError) {
        registers_.status = status;
    }
    registers_.state = dfu::kStateError;
    return NotAnswered();
}

// After data the hang fault programmed, the next DNLOAD or UPLOAD is not answered, and with a lasting fault
// no request is answered from then on; the status requests in between are.
bool DfuBootloader::HangStrikes()
{
    if (!registers_.hangPending) {
        return false;
    }
    registers_.hangPending = false;
    registers_.stalled = !faultOnce_;
    return true;
}

DfuOutcome DfuBootloader::Struck(DfuOutcome outcome)
{
    outcome.faultStruck = true;
    return outcome;
}

DfuOutcome DfuBootloader::Done(std::uint8_t state)
{
    registers_.state = state;
    return DfuOutcome{};
}

}  // namespace tarnix::sim
