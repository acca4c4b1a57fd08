#include "sim/usbrun/ChildProcess.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>

#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

// What this process does with a signal while the child runs: ignore it (a terminal sends it to the child
// too) or pass it on to the child.
struct Disposition {
    int signal;
    bool passOn;
};
constexpr Disposition kWhileRunning[] = {{SIGINT, false}, {SIGQUIT, false}, {SIGTERM, true}, {SIGHUP, true}};
constexpr std::size_t kHandled = std::size(kWhileRunning);

std::atomic<pid_t> runningChild{0};

void PassOn(int signal)
{
    const pid_t child = runningChild.load();
    if (child > 0) {
        ::kill(child, signal);
    }
}

// The signal handling of this process while a child runs; the earlier one comes back afterwards.
class SignalHandling {
public:
    SignalHandling()
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction passOn {};
        passOn.sa_handler = &PassOn;
        for (std::size_t index = 0; index < kHandled; ++index) {
            const Disposition& disposition = kWhileRunning[index];
            ::sigaction(disposition.signal, disposition.passOn ? &passOn : &ignore, &previous_[index]);
        }
    }
    ~SignalHandling()
    {
        for (std::size_t index = 0; index < kHandled; ++index) {
            ::sigaction(kWhileRunning[index].signal, &previous_[index], nullptr);
        }
    }
    SignalHandling(const SignalHandling&) = delete;
    SignalHandling& operator=(const SignalHandling&) = delete;

private:
    struct sigaction previous_[kHandled] {};
};

// The child starts with default signal handling and no blocked signals.
class SpawnAttributes {
public:
    SpawnAttributes()
    {
        ::posix_spawnattr_init(&attributes_);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const Disposition& disposition : kWhileRunning) {
            sigaddset(&defaults, disposition.signal);
        }
        sigset_t none;
        sigemptyset(&none);
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    const posix_spawnattr_t* Get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

std::vector<char*> Pointers(const std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (const std::string& text : texts) {
        pointers.push_back(const_cast<char*>(text.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

int ExitCodeOf(int status)
{
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

}  // namespace

int ChildProcess::Run(const std::vector<std::string>& command, const std::vector<std::string>& environment)
{
    if (command.empty()) {
        throw SimError("no command to run");
    }
    const SignalHandling signalHandling;
    const SpawnAttributes attributes;
    std::vector<char*> arguments = Pointers(command);
    std::vector<char*> variables = Pointers(environment);
    pid_t child = 0;
    const int failure =
        ::posix_spawnp(&child, arguments[0], nullptr, attributes.Get(), arguments.data(), variables.data());
    if (failure != 0) {
        return failure == ENOENT ? kNotFound : kNotStarted;
    }
    runningChild.store(child);
    int status = 0;
    pid_t waited = 0;
    do {
        waited = ::waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    runningChild.store(0);
    if (waited < 0) {
        throw SimError("lost track of the command");
    }
    return ExitCodeOf(status);
}

void ChildProcess::AdoptOrphans() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

void ChildProcess::WaitForLeftovers(int limitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t ended = ::waitpid(-1, nullptr, WNOHANG);
        if (ended < 0 && errno == ECHILD) {
            return;
        }
        if (ended <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

}  // namespace tarnix::sim
