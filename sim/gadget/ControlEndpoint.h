#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "io/FileDescriptor.h"
#include "sim/gadget/ControlTransfer.h"

namespace tarnix::sim {

// Endpoint zero of a FunctionFS function ("ep0"): events come as 12-byte records (the setup packet in bytes
// 0-7, the event type in byte 8). A pending control request is ended by writing (the IN data stage), by
// reading (the OUT data stage; zero bytes acknowledge a request without data), or by the opposite
// direction, which stalls it. The host waits in the meantime: FunctionFS receives an OUT data stage only
// when the program reads it.
class ControlEndpoint {
public:
    explicit ControlEndpoint(io::FileDescriptor fd);

    int Fd() const { return fd_.Get(); }
    // Writes a descriptor or string blob before the gadget is bound; false when the kernel refuses it.
    bool WriteBlob(const std::vector<std::uint8_t>& blob);
    // The next control request, waiting at most `timeoutMs`; other events are passed over.
    std::optional<ControlSetup> NextRequest(int timeoutMs);
    // The OUT data stage of the pending request (at most wLength bytes); nothing when the transfer failed.
    std::optional<std::vector<std::uint8_t>> ReceiveData(const ControlSetup& setup);
    // Ends the pending request (one without an OUT data stage) as the answer says; false when the transfer
    // failed (the host gave up, or the device left the bus).
    bool Finish(const ControlSetup& setup, const ControlAnswer& answer);

private:
    bool Stall(const ControlSetup& setup);

    io::FileDescriptor fd_;
};

}  // namespace tarnix::sim
