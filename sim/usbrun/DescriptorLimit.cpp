#include "sim/usbrun/DescriptorLimit.h"

#include <filesystem>
#include <string>

#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

rlimit Current()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        throw SimError("cannot read the descriptor limit");
    }
    return limit;
}

}  // namespace

bool DescriptorLimit::RaiseToHard()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return false;
    }
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

void DescriptorLimit::RequireRoom(int needed)
{
    const rlimit limit = Current();
    std::error_code error;
    rlim_t open = 0;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end; !error && entry != end;
         entry.increment(error)) {
        ++open;
    }
    if (error) {
        throw SimError("out of file descriptors: cannot list them: " + error.message());
    }
    if (limit.rlim_cur != RLIM_INFINITY && open + static_cast<rlim_t>(needed) > limit.rlim_cur) {
        throw SimError("out of file descriptors: " + std::to_string(open) + " of " + std::to_string(limit.rlim_cur) +
                       " open, " + std::to_string(needed) + " more needed");
    }
}

}  // namespace tarnix::sim
