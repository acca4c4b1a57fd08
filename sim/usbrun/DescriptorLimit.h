#pragma once

#include <sys/resource.h>

namespace tarnix::sim {

// The file descriptor limit of this process (RLIMIT_NOFILE).
class DescriptorLimit {
public:
    // Raises the soft limit to the hard one; false when it could not (the limit stays as it was).
    static bool RaiseToHard();
    // Throws SimError naming the counts when fewer than `needed` descriptors are left under the soft limit.
    static void RequireRoom(int needed);
};

}  // namespace tarnix::sim
