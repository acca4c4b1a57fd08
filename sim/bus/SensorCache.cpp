#include "sim/bus/SensorCache.h"

#include <sys/stat.h>

namespace tarnix::sim {

namespace {
constexpr std::size_t kMaxEntries = 4096;
}  // namespace

std::optional<SensorCache::Stamp> SensorCache::StampOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return Stamp{static_cast<std::uint64_t>(info.st_ino), static_cast<std::int64_t>(info.st_size),
                 static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

SensorCache& SensorCache::Instance()
{
    static SensorCache cache;
    return cache;
}

std::optional<SensorState> SensorCache::Find(const std::string& path, const Stamp& stamp) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = entries_.find(path);
    if (found == entries_.end() || !(found->second.stamp == stamp)) {
        return std::nullopt;
    }
    return found->second.state;
}

void SensorCache::Store(const std::string& path, const Stamp& stamp, const SensorState& state)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.size() >= kMaxEntries && entries_.count(path) == 0) {
        entries_.clear();  // many short-lived bus folders (tests): start over rather than grow
    }
    entries_[path] = Entry{stamp, state};
}

}  // namespace tarnix::sim
