#include "core/Timer.h"

#include <chrono>

namespace Utility {

namespace {
std::int64_t NowInNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
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
