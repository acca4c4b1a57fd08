#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "io/DfuTransport.h"
#include "sim/sensor/DfuBootloader.h"
#include "sim/bus/SensorStore.h"
#include "io/FileDescriptor.h"

namespace tarnix::sim {

// The host side of one open DFU interface on the simulated bus (io::DfuTransport has the contract). Every
// request reaches the virtual device at once; a request that the device does not answer (it was unplugged,
// a fault is injected, it left DFU mode) returns false.
//
// On the simulated bus (sim/DfuBootloader.h has the full rules): each request does its work at once and
// takes the flash page time before it returns, so GETSTATUS never reports a busy state. As on a real DfuSe
// bootloader, DNLOAD is taken in dfuIDLE and dfuDNLOAD-IDLE only and UPLOAD in dfuIDLE and dfuUPLOAD-IDLE
// only: between a DNLOAD (such as setting the address pointer) and an UPLOAD the host returns to dfuIDLE
// with CLRSTATUS or ABORT. A request in the wrong state, an unknown command or block 1 is stalled: false,
// and dfuERROR with errSTALLEDPKT. Data may only be programmed onto erased flash (errCHECK_ERASED).
//
// Every request locks the bus, loads the sensor (and its flash when the request needs it), runs the
// bootloader, saves what changed, and then spends the page time of the flash pages it erased or programmed
// (outside the lock, so other sensors are not held up).
class SimulatedDfuTransport : public io::DfuTransport {
public:
    // The present DFU device with this path that has the bootloader driver and no open fault, opened; nothing
    // otherwise, or when no descriptor is left for it. Opened by its path it holds one file descriptor for as
    // long as it lives, as the usbfs node does on the real bus, so that a session a program never closes
    // shows in its descriptor count and runs into its descriptor limit here too.
    static std::unique_ptr<SimulatedDfuTransport> Open(const std::string& devicePath);
    // Whether the host can open the DFU interface of a sensor in this state: the bootloader driver, no open
    // fault.
    static bool Openable(const SensorState& state);
    // An open refused by a one-shot open fault spends it: the next open works.
    static void SpendOneShotOpenFault(const SensorStore& store, const std::string& serial);

    SimulatedDfuTransport(SensorStore store, const SensorState& state);

    bool Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length) override;
    bool Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received) override;
    bool GetStatus(io::DfuStatusReport& report) override;
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
    io::FileDescriptor hostHandle_;  // open for a port opened by its path only
};

}  // namespace tarnix::sim
