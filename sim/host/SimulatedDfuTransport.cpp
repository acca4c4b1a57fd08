#include "sim/host/SimulatedDfuTransport.h"

#include <chrono>
#include <thread>

#include "sim/sensor/BusConstants.h"
#include "sim/bus/BusLock.h"
#include "sim/sensor/FirmwareHeader.h"
#include "sim/sensor/FlashMemory.h"
#include "sim/bus/WallClock.h"

#include <fcntl.h>

namespace tarnix::sim {

std::unique_ptr<SimulatedDfuTransport> SimulatedDfuTransport::Open(const std::string& devicePath)
{
    SensorStore store;
    const std::int64_t now = WallClock::NowMs();
    for (const SensorState& state : store.LoadAll()) {
        if (state.mode != SensorMode::Dfu || !state.IsPresent(now) || state.DevicePath() != devicePath) {
            continue;
        }
        if (!Openable(state)) {
            SpendOneShotOpenFault(store, state.serial);
            return nullptr;
        }
        auto port = std::make_unique<SimulatedDfuTransport>(store, state);
        port->hostHandle_ = io::FileDescriptor::Open("/dev/null", O_RDONLY);
        if (!port->hostHandle_.IsValid()) {
            return nullptr;
        }
        return port;
    }
    return nullptr;
}

// A one-shot open fault refuses this open only.
void SimulatedDfuTransport::SpendOneShotOpenFault(const SensorStore& store, const std::string& serial)
{
    BusLock lock(store.Folder());
    auto state = store.Load(serial);
    if (lock.IsHeld() && state && state->driver == DriverKind::Ok && state->fault == Fault::Open && state->faultOnce) {
        state->SpendOneShotFault(WallClock::NowMs());
        store.Save(*state);
    }
}

bool SimulatedDfuTransport::Openable(const SensorState& state)
{
    return state.driver == DriverKind::Ok && state.fault != Fault::Open;
}

SimulatedDfuTransport::SimulatedDfuTransport(SensorStore store, const SensorState& state)
    : store_(std::move(store)), serial_(state.serial), instance_(state.instance), generation_(state.generation)
{
}

bool SimulatedDfuTransport::Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length)
{
    return Run(true, [&](DfuBootloader& bootloader, FlashMemory* flash) {
        return bootloader.Dnload(block, data, length, *flash);
    });
}

bool SimulatedDfuTransport::Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received)
{
    received = 0;
    return Run(true, [&](DfuBootloader& bootloader, FlashMemory* flash) {
        return bootloader.Upload(block, data, length, received, *flash);
    });
}

bool SimulatedDfuTransport::GetStatus(io::DfuStatusReport& report)
{
    return Run(false, [&](DfuBootloader& bootloader, FlashMemory*) { return bootloader.GetStatus(report); });
}

bool SimulatedDfuTransport::ClearStatus()
{
    return Run(false, [](DfuBootloader& bootloader, FlashMemory*) { return bootloader.ClearStatus(); });
}

bool SimulatedDfuTransport::GetState(std::uint8_t& state)
{
    return Run(false, [&](DfuBootloader& bootloader, FlashMemory*) { return bootloader.GetState(state); });
}

bool SimulatedDfuTransport::Abort()
{
    return Run(false, [](DfuBootloader& bootloader, FlashMemory*) { return bootloader.Abort(); });
}

std::uint16_t SimulatedDfuTransport::VendorId() const { return kDfuVendorId; }
std::uint16_t SimulatedDfuTransport::ProductId() const { return kDfuProductId; }
std::uint16_t SimulatedDfuTransport::BcdDevice() const { return kDfuBcdDevice; }
std::uint16_t SimulatedDfuTransport::TransferSize() const { return kDfuTransferSize; }
std::string SimulatedDfuTransport::MemoryLayout() const { return kDfuMemoryLayout; }

bool SimulatedDfuTransport::Run(bool needsFlash, const Request& request)
{
    std::uint32_t busyMs = 0;
    bool answered = false;
    {
        BusLock lock(store_.Folder());
        const std::int64_t now = WallClock::NowMs();
        auto state = store_.Load(serial_);
        if (!lock.IsHeld() || !state || !IsMine(*state, now)) {
            return false;
        }
        std::optional<FlashMemory> flash;
        if (needsFlash || state->dfu.leavePending) {
            flash = store_.LoadFlash(serial_);
            if (!flash) {
                return false;
            }
        }
        const DfuRegisters before = state->dfu;
        DfuBootloader bootloader(state->dfu, state->fault, state->faultOnce);
        const DfuOutcome outcome = request(bootloader, flash ? &*flash : nullptr);
        if (outcome.event == DfuEvent::LeaveDfuMode) {
            state->BootFirmware(FirmwareHeader::ReadFrom(*flash), now);
        } else if (outcome.event == DfuEvent::DropOffBus) {
            state->DropOffBus(now);
        }
        const bool faultSpent = outcome.faultStruck && state->faultOnce;
        if (faultSpent) {
            state->SpendOneShotFault(now);
        }
        if (outcome.flashChanged && !store_.SaveFlash(serial_, *flash)) {
            return false;
        }
        if ((state->dfu != before || outcome.event != DfuEvent::None || faultSpent) && !store_.Save(*state)) {
            return false;
        }
        answered = outcome.answered;
        busyMs = outcome.busyPages * state->pageMs;
    }
    if (busyMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(busyMs));
    }
    return answered;
}

bool SimulatedDfuTransport::Present() const
{
    const auto state = store_.Load(serial_);
    return state && IsMine(*state, WallClock::NowMs());
}

bool SimulatedDfuTransport::IsMine(const SensorState& state, std::int64_t nowMs) const
{
    return state.instance == instance_ && state.generation == generation_ && state.mode == SensorMode::Dfu &&
           state.IsPresent(nowMs);
}

}  // namespace tarnix::sim
