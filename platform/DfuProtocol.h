#pragma once

#include <cstddef>
#include <cstdint>

// The DFU 1.1 protocol with the DfuSe extensions, as the host side speaks it (the transports, our DFU
// libraries and the core's use of them): class requests, device states, the status that means no error,
// and the DfuSe commands sent in download block 0. Every wait and poll of the DFU and HID paths is listed
// in docs/timeouts.md.
namespace tarnix::platform::dfu {

// Class requests (bRequest) to the DFU interface.
enum Request : std::uint8_t {
    kDnload = 1,
    kUpload = 2,
    kGetStatus = 3,
    kClrStatus = 4,
    kGetState = 5,
    kAbort = 6,
};

// Device states (bState of GETSTATUS, the answer of GETSTATE).
enum State : std::uint8_t {
    kStateIdle = 2,          // dfuIDLE
    kStateDownloadSync = 3,  // dfuDNLOAD-SYNC
    kStateDownloadBusy = 4,  // dfuDNBUSY
    kStateDownloadIdle = 5,  // dfuDNLOAD-IDLE
    kStateError = 10,        // dfuERROR
};

// bStatus of GETSTATUS when the device reports no error.
constexpr std::uint8_t kStatusOk = 0;

// The length of a GETSTATUS answer: bStatus, bwPollTimeout (3 bytes), bState, iString.
constexpr std::size_t kStatusLength = 6;

// DfuSe commands, the first byte of download block 0, followed by a 4-byte little-endian address.
constexpr std::uint8_t kSetAddressPointerCommand = 0x21;
constexpr std::uint8_t kEraseCommand = 0x41;

}  // namespace tarnix::platform::dfu
