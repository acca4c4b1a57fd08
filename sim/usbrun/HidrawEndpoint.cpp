#include "sim/usbrun/HidrawEndpoint.h"

#include <algorithm>
#include <cerrno>
#include <vector>
#include <linux/hidraw.h>
#include <sys/ioctl.h>

namespace tarnix::sim {

namespace {

constexpr unsigned kSetFeatureNumber = _IOC_NR(HIDIOCSFEATURE(0));
constexpr unsigned kGetFeatureNumber = _IOC_NR(HIDIOCGFEATURE(0));
constexpr unsigned kReadWrite = _IOC_READ | _IOC_WRITE;

}  // namespace

HidrawEndpoint::HidrawEndpoint(std::unique_ptr<SimulatedHidDevice> device) : device_(std::move(device)) {}

IoctlAnswer HidrawEndpoint::Handle(IoctlCall& call)
{
    if (!device_->Present()) {
        return IoctlAnswer::Failure(ENODEV);
    }
    const unsigned long request = call.Request();
    if (_IOC_TYPE(request) != 'H' || _IOC_DIR(request) != kReadWrite) {
        return IoctlAnswer::Failure(ENOTTY);
    }
    if (_IOC_NR(request) == kSetFeatureNumber) {
        return Transfer(call, true);
    }
    if (_IOC_NR(request) == kGetFeatureNumber) {
        return Transfer(call, false);
    }
    return IoctlAnswer::Failure(ENOTTY);
}

IoctlAnswer HidrawEndpoint::Transfer(IoctlCall& call, bool set)
{
    const std::size_t length = _IOC_SIZE(call.Request());
    if (length == 0) {
        return IoctlAnswer::Failure(EINVAL);
    }
    std::uint8_t* report = call.Argument(length);
    if (report == nullptr) {
        return IoctlAnswer::Failure(EFAULT);
    }
    const std::optional<std::size_t> transferred =
        set ? (device_->SetFeature(report, length) ? std::optional<std::size_t>(length) : std::nullopt)
            : GetFeature(report, length);
    if (transferred) {
        return IoctlAnswer::Success(static_cast<long>(*transferred));
    }
    return IoctlAnswer::Failure(device_->Present() ? EPIPE : ENODEV);
}

std::optional<std::size_t> HidrawEndpoint::GetFeature(std::uint8_t* report, std::size_t length)
{
    // The device zero-fills what it did not send; the caller's buffer gets only what it sent.
    std::vector<std::uint8_t> scratch(report, report + length);
    const std::optional<std::size_t> sent = device_->GetFeature(scratch.data(), length);
    if (sent) {
        std::copy_n(scratch.begin(), *sent, report);
    }
    return sent;
}

}  // namespace tarnix::sim
