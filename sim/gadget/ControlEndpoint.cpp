#include "sim/gadget/ControlEndpoint.h"

#include <linux/usb/functionfs.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>

namespace tarnix::sim {

namespace {

constexpr std::size_t kEventSize = sizeof(usb_functionfs_event);
constexpr std::size_t kEventTypeOffset = offsetof(usb_functionfs_event, type);
constexpr std::size_t kEventsPerRead = 4;

}  // namespace

ControlEndpoint::ControlEndpoint(io::FileDescriptor fd) : fd_(std::move(fd)) {}

bool ControlEndpoint::WriteBlob(const std::vector<std::uint8_t>& blob)
{
    const ssize_t written = ::write(fd_.Get(), blob.data(), blob.size());
    return written >= 0 && static_cast<std::size_t>(written) == blob.size();
}

std::optional<ControlSetup> ControlEndpoint::NextRequest(int timeoutMs)
{
    pollfd ready{fd_.Get(), POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0 || (ready.revents & POLLIN) == 0) {
        return std::nullopt;
    }
    std::array<std::uint8_t, kEventSize * kEventsPerRead> events{};
    const ssize_t count = ::read(fd_.Get(), events.data(), events.size());
    if (count <= 0) {
        return std::nullopt;
    }
    // Events after a control request in the same read only tell of the bus (suspend, disable ...).
    for (std::size_t at = 0; at + kEventSize <= static_cast<std::size_t>(count); at += kEventSize) {
        if (events[at + kEventTypeOffset] == FUNCTIONFS_SETUP) {
            return ControlSetup::FromBytes(events.data() + at);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> ControlEndpoint::ReceiveData(const ControlSetup& setup)
{
    std::vector<std::uint8_t> data(setup.length);
    const ssize_t received = ::read(fd_.Get(), data.data(), data.size());
    if (received < 0) {
        return std::nullopt;
    }
    data.resize(static_cast<std::size_t>(received));
    return data;
}

bool ControlEndpoint::Finish(const ControlSetup& setup, const ControlAnswer& answer)
{
    if (answer.kind == ControlAnswer::Kind::Data && setup.IsDeviceToHost()) {
        const std::size_t length = std::min<std::size_t>(answer.data.size(), setup.length);
        return ::write(fd_.Get(), answer.data.data(), length) >= 0;
    }
    if (answer.kind == ControlAnswer::Kind::Acknowledge && !setup.IsDeviceToHost()) {
        std::uint8_t none = 0;
        return ::read(fd_.Get(), &none, 0) >= 0;
    }
    return Stall(setup);
}

bool ControlEndpoint::Stall(const ControlSetup& setup)
{
    // The kernel stalls a request that is answered in the wrong direction and reports EL2HLT for it.
    std::uint8_t none = 0;
    const ssize_t result = setup.IsDeviceToHost() ? ::read(fd_.Get(), &none, 0) : ::write(fd_.Get(), &none, 0);
    return result < 0 && errno == EL2HLT;
}

}  // namespace tarnix::sim
