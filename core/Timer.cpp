#include "core/Timer.h"

#include <chrono>

namespace Utility {

namespace {
// The monotonic clock: a wall clock that is set or stepped meanwhile (by the user, by time synchronisation)
// would stretch or cut short every wait measured with the stopwatch.
std::int64_t NowInNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

void Timer::Start() { start = NowInNanoseconds(); }

double Timer::Current()
{
    last = NowInNanoseconds();
    elapsedSeconds = static_cast<double>(last - start) / 1e9;
    return elapsedSeconds * 1000;
}

}  // namespace Utility
