#pragma once

#include <cstddef>
#include <cstdint>

#include "io/DfuProtocol.h"
#include "io/DfuTransport.h"

namespace tarnix::sim {

// What a DFU class request did on the device.
struct DfuControlResult {
    bool recognised = false;  // false: no such request in that direction, or no room for its answer (a stall)
    bool answered = false;    // the device answered (the transport's result)
    std::size_t length = 0;   // bytes of the data stage: received by DNLOAD, returned by an IN request
};

// The DFU 1.1 class requests to the DFU interface as control transfers (bmRequestType io::dfu::kRequestTypeOut
// / kRequestTypeIn, bRequest io::dfu::Request), carried out on a DfuTransport: the device side of the wire,
// for usb-run's usbfs answers and tarnix-gadget's FunctionFS answers.
class DfuControlRequests {
public:
    // `data` holds `length` bytes: what DNLOAD sends, or the room for what an IN request returns
    // (GETSTATUS: bStatus, bwPollTimeout as 3 bytes little-endian, bState, iString).
    static DfuControlResult Run(io::DfuTransport& port, bool deviceToHost, std::uint8_t request, std::uint16_t value,
                                std::uint8_t* data, std::size_t length);
};

}  // namespace tarnix::sim
