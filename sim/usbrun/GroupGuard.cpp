#include "sim/usbrun/GroupGuard.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/bus/SimError.h"
#include "sim/usbrun/ForkedProcess.h"

namespace tarnix::sim {

namespace {

constexpr char kLetGo = 1;

// The watch: waits for the group's name, then for the end of the pipe (the owner has ended: the group is
// killed), a word from the owner (it lets the group go) or the end of the group.
[[noreturn]] void Watch(int fromOwner)
{
    ForkedProcess::DefaultSignalHandling();
    ::setpgid(0, 0);
    if (fromOwner > 0) {
        ::close_range(0, static_cast<unsigned>(fromOwner) - 1, 0);
    }
    ::close_range(static_cast<unsigned>(fromOwner) + 1, ~0U, 0);
    pid_t group = 0;
    if (ForkedProcess::ReadMessage(fromOwner, &group, sizeof group) != static_cast<ssize_t>(sizeof group) ||
        group <= 0) {
        ::_exit(0);
    }
    for (;;) {
        pollfd owner{fromOwner, POLLIN, 0};
        const int ready = ::poll(&owner, 1, GroupGuard::kCheckMs);
        if (ready > 0) {
            char word = 0;
            if (ForkedProcess::ReadMessage(fromOwner, &word, sizeof word) == 0) {
                ::kill(-group, SIGKILL);
            }
            ::_exit(0);
        }
        if (ready == 0 && ::kill(-group, 0) != 0 && errno == ESRCH) {
            ::_exit(0);
        }
    }
}

}  // namespace

GroupGuard::GroupGuard()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw SimError("cannot make a pipe to watch the command's group");
    }
    io::FileDescriptor fromOwner(ends[0]);
    toWatch_ = io::FileDescriptor(ends[1]);
    const ForkedProcess::SignalsHeld held;
    watch_ = ::fork();
    if (watch_ == 0) {
        Watch(fromOwner.Get());
    }
    if (watch_ < 0) {
        throw SimError("cannot start the process that watches the command's group");
    }
}

GroupGuard::~GroupGuard()
{
    static_cast<void>(toWatch_.WriteAll(&kLetGo, sizeof kLetGo));
    toWatch_ = io::FileDescriptor();
    // The watch may have been reaped already by a wait for any child (ChildProcess::WaitForLeftovers).
    while (::waitpid(watch_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void GroupGuard::WatchOwnGroup() const
{
    const pid_t group = ::getpgrp();
    if (group == ::getpid()) {  // never the group of the process that started it
        static_cast<void>(toWatch_.WriteAll(&group, sizeof group));
    }
}

}  // namespace tarnix::sim
