#pragma once

#include <cstddef>
#include <cstdint>

// The DFU 1.1 protocol with the DfuSe extensions, for both ends of the wire: the host side (the transports,
// our DFU libraries and the core's use of them) and the device side (the simulated sensor's bootloader and
// the gadget that plays it). Every wait and poll of the DFU and HID paths is listed in docs/timeouts.md.
namespace tarnix::io::dfu {

// The DFU interface in DFU mode: bInterfaceClass, bInterfaceSubClass, bInterfaceProtocol.
constexpr std::uint8_t kInterfaceClass = 0xFE;  // application specific
constexpr std::uint8_t kInterfaceSubclass = 0x01;
constexpr std::uint8_t kDfuModeProtocol = 0x02;

// bDescriptorType of the DFU functional descriptor, which follows the DFU interface.
constexpr std::uint8_t kFunctionalDescriptorType = 0x21;

// bmRequestType of the class requests to the DFU interface: host to device, device to host.
constexpr std::uint8_t kRequestTypeOut = 0x21;
constexpr std::uint8_t kRequestTypeIn = 0xA1;

// Class requests (bRequest) to the DFU interface.
enum class Request : std::uint8_t {
    Dnload = 1,
    Upload = 2,
    GetStatus = 3,
    ClrStatus = 4,
    GetState = 5,
    Abort = 6,
};

// The length of a GETSTATUS answer: bStatus, bwPollTimeout (3 bytes little-endian), bState, iString.
constexpr std::size_t kStatusLength = 6;

// Device states (bState of GETSTATUS, the answer of GETSTATE).
constexpr std::uint8_t kStateIdle = 2;        // dfuIDLE
constexpr std::uint8_t kStateDnloadSync = 3;  // dfuDNLOAD-SYNC
constexpr std::uint8_t kStateDnBusy = 4;      // dfuDNBUSY
constexpr std::uint8_t kStateDnloadIdle = 5;  // dfuDNLOAD-IDLE
constexpr std::uint8_t kStateManifest = 8;    // dfuMANIFEST
constexpr std::uint8_t kStateUploadIdle = 9;  // dfuUPLOAD-IDLE
constexpr std::uint8_t kStateError = 10;      // dfuERROR

// Status codes (bStatus of GETSTATUS): no error, or why the device went to dfuERROR.
constexpr std::uint8_t kStatusOk = 0x00;
constexpr std::uint8_t kErrTarget = 0x01;       // errTARGET
constexpr std::uint8_t kErrWrite = 0x03;        // errWRITE
constexpr std::uint8_t kErrErase = 0x04;        // errERASE
constexpr std::uint8_t kErrCheckErased = 0x05;  // errCHECK_ERASED
constexpr std::uint8_t kErrProg = 0x06;         // errPROG
constexpr std::uint8_t kErrAddress = 0x08;      // errADDRESS
constexpr std::uint8_t kErrNotDone = 0x09;      // errNOTDONE
constexpr std::uint8_t kErrUnknown = 0x0E;      // errUNKNOWN
constexpr std::uint8_t kErrStalledPkt = 0x0F;   // errSTALLEDPKT

// DfuSe commands, the first byte of download block 0; set address pointer and erase take a 4-byte
// little-endian address after it (erase without one erases all). Upload block 0 lists the commands.
constexpr std::uint8_t kCommandGetCommands = 0x00;
constexpr std::uint8_t kCommandSetAddress = 0x21;
constexpr std::uint8_t kCommandErase = 0x41;

}  // namespace tarnix::io::dfu
