#include "sim/sensor/DfuControlRequests.h"

namespace tarnix::sim {

namespace {

namespace dfu = io::dfu;

DfuControlResult Done(bool answered, std::size_t length) { return DfuControlResult{true, answered, length}; }

DfuControlResult Status(io::DfuTransport& port, std::uint8_t* data)
{
    io::DfuStatusReport report;
    const bool answered = port.GetStatus(report);
    const std::uint32_t poll = report.pollTimeoutMs;
    const std::uint8_t bytes[dfu::kStatusLength] = {report.status,
                                                    static_cast<std::uint8_t>(poll),
                                                    static_cast<std::uint8_t>(poll >> 8),
                                                    static_cast<std::uint8_t>(poll >> 16),
                                                    report.state,
                                                    report.stringIndex};
    for (std::size_t i = 0; i < dfu::kStatusLength; ++i) {
        data[i] = bytes[i];
    }
    return Done(answered, dfu::kStatusLength);
}

}  // namespace

DfuControlResult DfuControlRequests::Run(io::DfuTransport& port, bool deviceToHost, std::uint8_t request,
                                         std::uint16_t value, std::uint8_t* data, std::size_t length)
{
    if (length > 0 && data == nullptr) {
        return {};
    }
    const auto code = static_cast<dfu::Request>(request);
    if (!deviceToHost) {
        switch (code) {
            case dfu::Request::Dnload:
                return Done(port.Dnload(value, length > 0 ? data : nullptr, length), length);
            case dfu::Request::ClrStatus:
                return Done(port.ClearStatus(), 0);
            case dfu::Request::Abort:
                return Done(port.Abort(), 0);
            default:
                return {};
        }
    }
    switch (code) {
        case dfu::Request::Upload: {
            std::size_t received = 0;
            const bool answered = port.Upload(value, data, length, received);
            return Done(answered, received);
        }
        case dfu::Request::GetStatus:
            return length >= dfu::kStatusLength ? Status(port, data) : DfuControlResult{};
        case dfu::Request::GetState:
            return length >= 1 ? Done(port.GetState(data[0]), 1) : DfuControlResult{};
        default:
            return {};
    }
}

}  // namespace tarnix::sim
