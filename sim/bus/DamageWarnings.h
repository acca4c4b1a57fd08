#pragma once

#include <string>

namespace tarnix::sim {

// Warns on standard error about a sensor file that had to be skipped, once per version of that file in this
// process, so that a device search that enumerates every few milliseconds does not flood the terminal.
class DamageWarnings {
public:
    static void Report(const std::string& path, const std::string& reason);
};

}  // namespace tarnix::sim
