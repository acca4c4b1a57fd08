#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnix::io {

// The answer of a DFU GETSTATUS request (USB DFU 1.1, DfuSe extensions).
struct DfuStatusReport {
    std::uint8_t status = 0;          // bStatus: 0 = OK, else the DFU error code
    std::uint32_t pollTimeoutMs = 0;  // bwPollTimeout (24 bits on the wire)
    std::uint8_t state = 0;           // bState: 2 = dfuIDLE, 5 = dfuDNLOAD-IDLE, 8 = dfuMANIFEST, 10 = dfuERROR ...
    std::uint8_t stringIndex = 0;     // iString
};

// The host side of one open DFU interface, on either bus: the class requests of USB DFU 1.1 with the DfuSe
// extensions, nothing more. A request the device does not answer (it is gone, it left DFU mode, it stalls,
// the transfer times out) returns false; a request it takes but refuses returns true and puts the device
// into dfuERROR, which the next GETSTATUS reports. Requests block until the device has answered or the
// transfer has timed out; none waits for ever.
class DfuTransport {
public:
    virtual ~DfuTransport() = default;

    // DFU_DNLOAD with a block number; block 0 carries DfuSe commands (0x21 set address pointer, 0x41 erase
    // page), blocks >= 2 data for pointer + (block - 2) x transfer size. A zero-length DNLOAD asks the device
    // to leave DFU mode, which it does on the next GETSTATUS.
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

protected:
    DfuTransport() = default;
    DfuTransport(const DfuTransport&) = delete;
    DfuTransport& operator=(const DfuTransport&) = delete;
};

}  // namespace tarnix::io
