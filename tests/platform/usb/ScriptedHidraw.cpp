#include "tests/platform/usb/ScriptedHidraw.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>

namespace tarnix::test {

namespace {

constexpr std::uint8_t kAnswerReportId = 0x02;

}  // namespace

std::vector<std::vector<std::uint8_t>> ScriptedHidraw::SentReports() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return sent_;
}

std::vector<std::size_t> ScriptedHidraw::ReadLengths() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return readLengths_;
}

void ScriptedHidraw::SetReportLength(std::size_t length)
{
    std::lock_guard<std::mutex> guard(mutex_);
    reportLength_ = length;
}

sim::IoctlAnswer ScriptedHidraw::Answer(sim::IoctlCall& call)
{
    const unsigned long request = call.Request();
    const std::size_t length = _IOC_SIZE(request);
    // The length travels in the request code; compare everything else.
    if (request == HIDIOCSFEATURE(length)) {
        return SetFeature(call, length);
    }
    if (request == HIDIOCGFEATURE(length)) {
        return GetFeature(call, length);
    }
    return sim::IoctlAnswer::Failure(EINVAL);
}

sim::IoctlAnswer ScriptedHidraw::SetFeature(sim::IoctlCall& call, std::size_t length)
{
    const std::uint8_t* report = call.Argument(length);
    if (report == nullptr) {
        return sim::IoctlAnswer::Failure(EFAULT);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    sent_.emplace_back(report, report + length);
    return sim::IoctlAnswer::Success(static_cast<long>(length));
}

sim::IoctlAnswer ScriptedHidraw::GetFeature(sim::IoctlCall& call, std::size_t length)
{
    std::uint8_t* report = call.Argument(length);
    if (report == nullptr || length < 2) {
        return sim::IoctlAnswer::Failure(EFAULT);
    }
    if (report[0] != kAnswerReportId) {
        return sim::IoctlAnswer::Failure(EPIPE);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    readLengths_.push_back(length);
    const std::size_t sent = reportLength_ == 0 ? length : std::min(std::max<std::size_t>(reportLength_, 2), length);
    const std::vector<std::uint8_t> last = sent_.empty() ? std::vector<std::uint8_t>() : sent_.back();
    report[1] = static_cast<std::uint8_t>(last.size());
    std::fill(report + 2, report + sent, 0);
    std::copy_n(last.begin(), std::min(last.size(), sent - 2), report + 2);
    return sim::IoctlAnswer::Success(static_cast<long>(sent));
}

}  // namespace tarnix::test
