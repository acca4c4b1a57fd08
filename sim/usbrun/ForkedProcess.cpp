#include "sim/usbrun/ForkedProcess.h"

#include <cerrno>
#include <pthread.h>
#include <unistd.h>

namespace tarnix::sim {

ForkedProcess::SignalsHeld::SignalsHeld()
{
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &before_);
}

ForkedProcess::SignalsHeld::~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

void ForkedProcess::DefaultSignalHandling()
{
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction current {};
        if (signal != SIGKILL && signal != SIGSTOP && ::sigaction(signal, nullptr, &current) == 0 &&
            current.sa_handler != SIG_IGN && current.sa_handler != SIG_DFL) {
            ::sigaction(signal, &defaults, nullptr);
        }
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

ssize_t ForkedProcess::ReadMessage(int fd, void* data, std::size_t length)
{
    ssize_t got = 0;
    do {
        got = ::read(fd, data, length);
    } while (got < 0 && errno == EINTR);
    return got;
}

}  // namespace tarnix::sim
