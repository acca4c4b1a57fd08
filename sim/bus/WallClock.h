#pragma once

#include <cstdint>

namespace tarnix::sim {

// Wall-clock time in milliseconds since the epoch: the one clock every process on the bus shares, so that
// a re-enumeration started by one process ends at the same moment for all of them.
class WallClock {
public:
    static std::int64_t NowMs();
};

}  // namespace tarnix::sim
