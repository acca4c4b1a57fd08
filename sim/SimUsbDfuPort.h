#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sim/DfuBootloader.h"
#include "sim/SensorStore.h"
#include "sim/UsbDfuPort.h"

namespace tarnix::sim {

// UsbDfuPort over the bus folder: every request locks the bus, loads the sensor (and its flash when the
// request needs it), runs the bootloader, saves what changed, and then spends the page time of the flash
// pages it erased or programmed (outside the lock, so other sensors are not held up).
class SimUsbDfuPort : public UsbDfuPort {
public:
    // The present DFU device with this path that has the bootloader driver and no open fault, opened.
    static std::unique_ptr<SimUsbDfuPort> OpenPath(const std::string& devicePath);
    // Whether the host can open the DFU interface of a sensor in this state: the bootloader driver, no open
    // fault.
    static bool Openable(const SensorState& state);
    // An open refused by a one-shot open fault spends it: the next open works.
    static void SpendOneShotOpenFault(const SensorStore& store, const std::string& serial);

    SimUsbDfuPort(SensorStore store, const SensorState& state);

    bool Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length) override;
    bool Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received) override;
    bool GetStatus(DfuStatusReport& report) override;
    bool ClearStatus() override;
    bool GetState(std::uint8_t& state) override;
    bool Abort() override;

    std::uint16_t VendorId() const override;
    std::uint16_t ProductId() const override;
    std::uint16_t BcdDevice() const override;
    std::uint16_t TransferSize() const override;
    std::string MemoryLayout() const override;

    // Whether the device this port was opened on is still on the bus in DFU mode (a failed request on a
    // present device was refused or stalled).
    bool Present() const;

private:
    using Request = std::function<DfuOutcome(DfuBootloader&, FlashMemory*)>;
    bool Run(bool needsFlash, const Request& request);
    bool IsMine(const SensorState& state, std::int64_t nowMs) const;

    SensorStore store_;
    std::string serial_;
    std::uint64_t instance_;
    std::uint32_t generation_;
};

}  // namespace tarnix::sim
