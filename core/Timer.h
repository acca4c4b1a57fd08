#pragma once

#include <cstdint>

namespace Utility {

// A millisecond stopwatch on the monotonic clock. Call Start before the first Current.
class Timer {
public:
    void Start();
    // Milliseconds since Start, as a floating-point number.
    double Current();

    std::int64_t start = 0;     // clock reading of Start, nanoseconds
    std::int64_t last = 0;      // clock reading of the latest Current, nanoseconds
    double elapsedSeconds = 0;  // last - start, in seconds
};

}  // namespace Utility
