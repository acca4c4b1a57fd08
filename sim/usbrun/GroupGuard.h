#pragma once

#include <sys/types.h>

#include "io/FileDescriptor.h"

namespace tarnix::sim {

// Keeps a process group from outliving this process. A small process of its own, started here, watches this
// one through a pipe: once this process has ended, however it ended (SIGKILL included), it kills what is
// left of the group with SIGKILL. The watch lets the group go, and ends, once the group has ended by itself
// or this object is destroyed. It runs in a process group of its own, apart from this process's and the
// watched one, holding no descriptor but its end of the pipe.
class GroupGuard {
public:
    // How often the watch looks whether the group has ended by itself.
    static constexpr int kCheckMs = 20;

    // Starts the watch; throws SimError when it cannot.
    GroupGuard();
    // Lets the group go without touching it, and reaps the watch.
    ~GroupGuard();
    GroupGuard(const GroupGuard&) = delete;
    GroupGuard& operator=(const GroupGuard&) = delete;

    // For the first process of the group to watch, once it has made the group (setpgid(0, 0)) and before it
    // runs its program (exec): names its group to the watch (nothing when it does not lead a group of its
    // own). Async-signal-safe, for a process just forked.
    void WatchOwnGroup() const;

private:
    io::FileDescriptor toWatch_;  // closed on exec, so the watch sees its end once this process has ended
    pid_t watch_ = -1;
};

}  // namespace tarnix::sim
