#include "sim/usbrun/ChildProcess.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <iterator>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

// Signals this process passes on to the program's group while it runs: a terminal sends them to the group
// it gave the terminal to, and a script's shell to its own group, which holds this process.
constexpr int kPassedOn[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
// Signals that end this process at once; the program's group goes with it.
constexpr int kFatal[] = {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};
constexpr std::size_t kHandled = std::size(kPassedOn) + std::size(kFatal);

constexpr char kFatalMessage[] = "tarnix-sim usb-run: ended by a fatal signal; the command was stopped\n";

std::atomic<pid_t> runningGroup{0};
std::atomic<bool> starting{false};
constexpr int kStartWaitMs = 1000;

// The program's group. A signal that arrives while the program starts waits for it: the starting thread
// blocks the handled signals meanwhile, so the handler runs on another thread, or later on that one.
pid_t RunningGroup()
{
    pid_t group = runningGroup.load();
    const timespec pause{0, 1000000};
    for (int waited = 0; group == 0 && starting.load() && waited < kStartWaitMs; ++waited) {
        ::nanosleep(&pause, nullptr);
        group = runningGroup.load();
    }
    return group;
}

void PassOn(int signal)
{
    const pid_t group = RunningGroup();
    if (group > 0) {
        ::kill(-group, signal);
    }
}

// Runs once (the handler is reset on entry), then the signal ends this process as it would have.
void EndWithTheGroup(int signal)
{
    const pid_t group = RunningGroup();
    if (group > 0) {
        ::kill(-group, SIGKILL);
        const ssize_t ignored = ::write(STDERR_FILENO, kFatalMessage, sizeof kFatalMessage - 1);
        static_cast<void>(ignored);
    }
    ::raise(signal);
}

// Every signal handled here, passed-on ones first.
int HandledSignal(std::size_t index)
{
    return index < std::size(kPassedOn) ? kPassedOn[index] : kFatal[index - std::size(kPassedOn)];
}

sigset_t HandledSignals()
{
    sigset_t handled;
    sigemptyset(&handled);
    for (std::size_t index = 0; index < kHandled; ++index) {
        sigaddset(&handled, HandledSignal(index));
    }
    return handled;
}

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

// The terminal on standard input when this process's group is its foreground job; -1 otherwise.
int ForegroundTerminal()
{
    return ::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp() ? STDIN_FILENO : -1;
}

// Makes `group` the terminal's foreground group. A process outside the foreground may do so only with
// SIGTTOU blocked.
void GiveTerminal(int terminal, pid_t group)
{
    sigset_t ttou;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigset_t before;
    ::pthread_sigmask(SIG_BLOCK, &ttou, &before);
    ::tcsetpgrp(terminal, group);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// The program starts with default signal handling and no blocked signals, in a new process group that
// takes the terminal over when there is one to hand on.
class SpawnSettings {
public:
    explicit SpawnSettings(int terminal)
    {
        ::posix_spawnattr_init(&attributes_);
        const sigset_t defaults = HandledSignals();
        sigset_t none;
        sigemptyset(&none);
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        ::posix_spawnattr_setpgroup(&attributes_, 0);
        ::posix_spawnattr_setflags(&attributes_,
                                   POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
        ::posix_spawn_file_actions_init(&actions_);
        if (terminal >= 0) {
            ::posix_spawn_file_actions_addtcsetpgrp_np(&actions_, terminal);
        }
    }
    ~SpawnSettings()
    {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    const posix_spawnattr_t* Attributes() const { return &attributes_; }
    const posix_spawn_file_actions_t* Actions() const { return &actions_; }

private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
};

}  // namespace

// The signal handling of this process while a program runs; the earlier one comes back afterwards.
class ChildProcess::Signals {
public:
    Signals()
    {
        struct sigaction passOn {};
        passOn.sa_handler = &PassOn;
        struct sigaction fatal {};
        fatal.sa_handler = &EndWithTheGroup;
        fatal.sa_flags = SA_RESETHAND | SA_NODEFER;
        for (std::size_t index = 0; index < kHandled; ++index) {
            ::sigaction(HandledSignal(index), index < std::size(kPassedOn) ? &passOn : &fatal, &previous_[index]);
        }
    }
    ~Signals()
    {
        runningGroup.store(0);
        for (std::size_t index = 0; index < kHandled; ++index) {
            ::sigaction(HandledSignal(index), &previous_[index], nullptr);
        }
    }
    Signals(const Signals&) = delete;
    Signals& operator=(const Signals&) = delete;

private:
    struct sigaction previous_[kHandled] {};
};

ChildProcess::ChildProcess(const std::vector<std::string>& command, const std::vector<std::string>& environment)
    : signals_(std::make_unique<Signals>())
{
    Start(command, environment);
}

ChildProcess::~ChildProcess() { TakeTerminal(); }

void ChildProcess::Start(const std::vector<std::string>& command, const std::vector<std::string>& environment)
{
    if (command.empty()) {
        throw SimError("no command to run");
    }
    const int terminal = ForegroundTerminal();
    const SpawnSettings settings(terminal);
    std::vector<char*> arguments = Pointers(command);
    std::vector<char*> variables = Pointers(environment);
    const sigset_t handled = HandledSignals();
    sigset_t before;
    ::pthread_sigmask(SIG_BLOCK, &handled, &before);
    starting.store(true);
    const int failure = ::posix_spawnp(&child_, arguments[0], settings.Actions(), settings.Attributes(),
                                       arguments.data(), variables.data());
    runningGroup.store(failure == 0 ? child_ : 0);
    starting.store(false);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (failure != 0) {
        child_ = -1;
        startFailure_ = failure == ENOENT ? kNotFound : kNotStarted;
        return;
    }
    terminal_ = terminal;
}

int ChildProcess::Wait()
{
    if (child_ < 0) {
        return startFailure_;
    }
    // Only a program that has the terminal is stopped by its stop key; others are waited for whatever they do.
    const int options = terminal_ >= 0 ? WUNTRACED : 0;
    int status = 0;
    for (;;) {
        const pid_t waited = ::waitpid(child_, &status, options);
        if (waited < 0 && errno == EINTR) {
            continue;
        }
        if (waited < 0) {
            throw SimError("lost track of the command");
        }
        if (!WIFSTOPPED(status)) {
            return ExitCodeOf(status);
        }
        StopAlongWith(WSTOPSIG(status));
    }
}

// The shell that started this process sees its job stop, takes the terminal back and continues the job
// later: then the program gets the terminal again (when the job is in the foreground) and goes on too.
void ChildProcess::StopAlongWith(int stopSignal) const
{
    TakeTerminal();
    ::kill(::getpid(), stopSignal == SIGTSTP || stopSignal == SIGTTIN || stopSignal == SIGTTOU ? stopSignal : SIGSTOP);
    if (::tcgetpgrp(terminal_) == ::getpgrp()) {
        GiveTerminal(terminal_, child_);
    }
    ::kill(-child_, SIGCONT);
}

void ChildProcess::TakeTerminal() const
{
    if (terminal_ >= 0 && ::tcgetpgrp(terminal_) == child_) {
        GiveTerminal(terminal_, ::getpgrp());
    }
}

void ChildProcess::Stop()
{
    if (child_ < 0) {
        return;
    }
    ::kill(-child_, SIGTERM);
    ::kill(-child_, SIGCONT);  // a stopped program ends only once it runs
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopGraceMs);
    while (::kill(-child_, 0) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-child_, SIGKILL);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
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
