#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "sim/sensor/SensorState.h"

namespace tarnix::sim {

// The parsed sensor files of this process, keyed by path and validated by the file's identity (inode, size,
// modification time in nanoseconds), so that an enumeration costs one stat per sensor instead of a read
// and a parse. Writers give every new version of a sensor file a modification time later than the one
// before (SensorStore::Save), so a cached entry never survives a change of the file.
class SensorCache {
public:
    struct Stamp {
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modifiedNs = 0;
        bool operator==(const Stamp& other) const
        {
            return inode == other.inode && size == other.size && modifiedNs == other.modifiedNs;
        }
    };

    // The stamp of the file now; nothing when it does not exist.
    static std::optional<Stamp> StampOf(const std::string& path);

    static SensorCache& Instance();
    std::optional<SensorState> Find(const std::string& path, const Stamp& stamp) const;
    void Store(const std::string& path, const Stamp& stamp, const SensorState& state);

private:
    struct Entry {
        Stamp stamp;
        SensorState state;
    };

    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

}  // namespace tarnix::sim
