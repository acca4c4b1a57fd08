#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarnix::sim {

// The answer of a DFU GETSTATUS request (USB DFU 1.1, DfuSe extensions).
struct DfuStatusReport {
    std::uint8_t status = 0;          // bStatus: 0 = OK, else the DFU error code
    std::uint32_t pollTimeoutMs = 0;  // bwPollTimeout (24 bits on the wire)
    std::uint8_t state = 0;           // bState: 2 = dfuIDLE, 5 = dfuDNLOAD-IDLE, 8 = dfuMANIFEST, 10 = dfuERROR ...
    std::uint8_t stringIndex = 0;     // iString
};

// The host side of one open DFU interface on the simulated bus: the class requests of USB DFU, nothing more.
// Every request reaches the virtual device at once; a request that the device does not answer (it was
// unplugged, a fault is injected, it left DFU mode) returns false. A request that the device answers but
// refuses returns true and puts the device into dfuERROR, which the next GETSTATUS reports.
//
// On the simulated bus (sim/DfuBootloader.h has the full rules): each request does its work at once and
// takes the flash page time before it returns, so GETSTATUS never reports a busy state. As on a real DfuSe
// bootloader, DNLOAD is taken in dfuIDLE and dfuDNLOAD-IDLE only and UPLOAD in dfuIDLE and dfuUPLOAD-IDLE
// only: between a DNLOAD (such as setting the address pointer) and an UPLOAD the host returns to dfuIDLE
// with CLRSTATUS or ABORT. A request in the wrong state, an unknown command or block 1 is stalled: false,
// and dfuERROR with errSTALLEDPKT. Data may only be programmed onto erased flash (errCHECK_ERASED).
class UsbDfuPort {
public:
    // Opens the DFU device whose device path is given; nullptr when there is none or it cannot be opened.
    static std::unique_ptr<UsbDfuPort> Open(const std::string& devicePath);

    virtual ~UsbDfuPort() = default;

    // DFU_DNLOAD with a block number; block 0 carries DfuSe commands (0x21 set address pointer, 0x41 erase
    // page), blocks >= 2 data for pointer + (block - 2) x length. A zero-length DNLOAD asks the device to
    // leave DFU mode, which it does on the next GETSTATUS.
    virtual bool Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length) = 0;
    // DFU_UPLOAD of up to `length` bytes with the same addressing rule; `received` gets the count.
    virtual bool Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received) = 0;
    virtual bool GetStatus(DfuStatusReport& report) = 0;
    virtual bool ClearStatus() = 0;
    virtual bool GetState(std::uint8_t& state) = 0;
    virtual bool Abort() = 0;

    // Descriptors of the device: vendor and product id, bcdDevice, the DFU functional descriptor's
    // wTransferSize and the memory layout string of alternate setting 0
    // (for example "@Internal Flash  /0x08000000/64*002Kg").
    virtual std::uint16_t VendorId() const = 0;
    virtual std::uint16_t ProductId() const = 0;
    virtual std::uint16_t BcdDevice() const = 0;
    virtual std::uint16_t TransferSize() const = 0;
    virtual std::string MemoryLayout() const = 0;
};

}  // namespace tarnix::sim
