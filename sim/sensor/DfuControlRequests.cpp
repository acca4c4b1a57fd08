#include "sim/sensor/DfuControlRequests.h"

namespace tarnix::sim {

namespace {

enum Request : std::uint8_t { kDnload = 1, kUpload = 2, kGetStatus = 3, kClearStatus = 4, kGetState = 5, kAbort = 6 };

DfuControlResult Done(bool answered, std::size_t length) { return DfuControlResult{true, answered, length}; }

DfuControlResult Status(io::DfuTransport& port, std::uint8_t* data)
{
    io::DfuStatusReport report;
    const bool answered = port.GetStatus(report);
    const std::uint32_t poll = report.pollTimeoutMs;
    const std::uint8_t bytes[DfuControlRequests::kStatusLength] = {report.status,
                                                                   static_cast<std::uint8_t>(poll),
                                                                   static_cast<std::uint8_t>(poll >> 8),
                                                                   static_cast<std::uint8_t>(poll >> 16),
                                                                   report.state,
                                                                   report.stringIndex};
    for (std::size_t i = 0; i < DfuControlRequests::kStatusLength; ++i) {
        data[i] = bytes[i];
    }
    return Done(answered, DfuControlRequests::kStatusLength);
}

}  // namespace

DfuControlResult DfuControlRequests::Run(io::DfuTransport& port, bool deviceToHost, std::uint8_t request,
                                         std::uint16_t value, std::uint8_t* data, std::size_t length)
{
    if (length > 0 && data == nullptr) {
        return {};
    }
    if (!deviceToHost) {
        switch (request) {
            case kDnload:
                return Done(port.Dnload(value, length > 0 ? data : nullptr, length), length);
            case kClearStatus:
                return Done(port.ClearStatus(), 0);
            case kAbort:
                return Done(port.Abort(), 0);
            default:
                return {};
        }
    }
    switch (request) {
        case kUpload: {
            std::size_t received = 0;
            const bool answered = port.Upload(value, data, length, received);
            return Done(answered, received);
        }
        case kGetStatus:
            return length >= kStatusLength ? Status(port, data) : DfuControlResult{};
        case kGetState:
            return length >= 1 ? Done(port.GetState(data[0]), 1) : DfuControlResult{};
        default:
            return {};
    }
}

}  // namespace tarnix::sim
