#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "sim/sensor/Fault.h"
#include "io/DfuProtocol.h"
#include "io/DfuTransport.h"

namespace tarnix::sim {

class FlashMemory;

// What the bootloader keeps between requests (persisted with the sensor).
struct DfuRegisters {
    std::uint8_t state = io::dfu::kStateIdle;
    std::uint8_t status = io::dfu::kStatusOk;
    std::optional<std::uint32_t> addressPointer;
    bool leavePending = false;  // a zero-length DNLOAD came; the next GETSTATUS leaves DFU mode
    bool stalled = false;       // the stall fault struck: no request is answered any more
    bool hangPending = false;   // the hang fault programmed data: the next DNLOAD or UPLOAD is not answered

    bool operator==(const DfuRegisters& other) const
    {
        return state == other.state && status == other.status && addressPointer == other.addressPointer &&
               leavePending == other.leavePending && stalled == other.stalled && hangPending == other.hangPending;
    }
    bool operator!=(const DfuRegisters& other) const { return !(*this == other); }
};

// Something the request makes happen to the device as a whole.
enum class DfuEvent { None, LeaveDfuMode, DropOffBus };

// The result of one request.
struct DfuOutcome {
    bool answered = true;    // false: the host sees a failed transfer
    unsigned busyPages = 0;  // flash pages erased or programmed (each costs the page time)
    bool flashChanged = false;
    DfuEvent event = DfuEvent::None;
    bool faultStruck = false;  // the injected fault decided this request's outcome
};

// The DfuSe bootloader of the sensor as a state machine over its registers and its flash.
//
// Requests in the order a host sends them: DNLOAD block 0 carries a command (0x21 + 32-bit LE address:
// set the address pointer; 0x41 + address: erase that page; 0x41 alone: erase all), DNLOAD block >= 2
// programs its data at pointer + (block - 2) x length, UPLOAD block 0 lists the commands, UPLOAD block >= 2
// reads with the same addressing rule. Each request does its work at once (the caller spends the page
// time), so GETSTATUS never reports a busy state. A zero-length DNLOAD asks to leave DFU mode, which the
// next GETSTATUS carries out (it reports dfuMANIFEST).
//
// Refusals follow two rules. A request that breaks the protocol (a command or block number the device does
// not know, more than the transfer size, DNLOAD outside dfuIDLE / dfuDNLOAD-IDLE, UPLOAD outside dfuIDLE /
// dfuUPLOAD-IDLE; so a host returns to dfuIDLE with CLRSTATUS or ABORT between a DNLOAD and an UPLOAD) is
// stalled: not answered, dfuERROR with errSTALLEDPKT (an earlier error status is kept). A well-formed
// request that the device cannot carry out is answered and ends in dfuERROR with its status: an address
// pointer or erase address outside the flash (errTARGET), data or an upload without an address pointer or
// outside the flash (errADDRESS), data onto flash that is not erased (errCHECK_ERASED). CLRSTATUS and ABORT
// return to dfuIDLE from every state.
class DfuBootloader {
public:
    // `faultOnce`: the fault strikes one request only, so a stall leaves the device answering afterwards.
    DfuBootloader(DfuRegisters& registers, Fault fault, bool faultOnce = false);

    DfuOutcome Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length, FlashMemory& flash);
    DfuOutcome Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received,
                      const FlashMemory& flash);
    DfuOutcome GetStatus(io::DfuStatusReport& report);
    DfuOutcome GetState(std::uint8_t& state);
    DfuOutcome ClearStatus();
    DfuOutcome Abort();

private:
    DfuOutcome Command(const std::uint8_t* data, std::size_t length, FlashMemory& flash);
    DfuOutcome SetAddress(std::uint32_t address);
    DfuOutcome ErasePage(std::uint32_t address, FlashMemory& flash);
    DfuOutcome CutShortErase(std::uint32_t address, FlashMemory& flash);
    DfuOutcome EraseAll(FlashMemory& flash);
    DfuOutcome RequestLeave();
    DfuOutcome WriteData(std::uint16_t block, const std::uint8_t* data, std::size_t length, FlashMemory& flash);
    DfuOutcome ReadData(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received,
                        const FlashMemory& flash);
    std::optional<std::uint32_t> DataAddress(std::uint16_t block, std::size_t length) const;
    DfuOutcome Refuse(std::uint8_t status);
    DfuOutcome Stall(std::uint8_t status);
    DfuOutcome Done(std::uint8_t state);
    bool HangStrikes();
    static DfuOutcome Struck(DfuOutcome outcome);

    DfuRegisters& registers_;
    Fault fault_;
    bool faultOnce_;
};

}  // namespace tarnix::sim
