#pragma once

#include <csignal>
#include <cstddef>
#include <sys/types.h>

namespace tarnix::sim {

// Starting a process with fork(2) from this one, which runs threads and has signal handlers of its own, and
// hearing from it through a pipe. The parent blocks every signal around fork(2), so that none of its
// handlers runs in the new process; the new process calls only async-signal-safe functions until it execs
// or ends.
class ForkedProcess {
public:
    // Blocks every signal in the calling thread; the earlier mask comes back when the object goes.
    class SignalsHeld {
    public:
        SignalsHeld();
        ~SignalsHeld();
        SignalsHeld(const SignalsHeld&) = delete;
        SignalsHeld& operator=(const SignalsHeld&) = delete;

    private:
        sigset_t before_{};
    };

    // In the new process: every signal that has a handler gets its default action (ignored ones stay
    // ignored), then every signal is unblocked.
    static void DefaultSignalHandling();
    // Reads a message from a pipe that the other side wrote with one write(2) of at most PIPE_BUF bytes, so
    // that it comes whole: one read(2), again when a signal interrupts it. Async-signal-safe.
    static ssize_t ReadMessage(int fd, void* data, std::size_t length);
};

}  // namespace tarnix::sim
