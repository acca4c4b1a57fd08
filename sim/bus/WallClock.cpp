#include "sim/bus/WallClock.h"

#include <chrono>

namespace tarnix::sim {

std::int64_t WallClock::NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace tarnix::sim
