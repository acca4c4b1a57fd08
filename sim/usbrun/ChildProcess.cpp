#include "sim/usbrun/ChildProcess.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

#include "io/FileDescriptor.h"
#include "sim/bus/SimError.h"
#include "sim/usbrun/ForkedProcess.h"

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
// blocks every signal meanwhile, so the handler runs on another thread, or later on that one.
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

// Whether `condition` holds within `limitMs`, looking every 10 ms.
template <typename Condition>
bool WaitUntil(Condition condition, int limitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
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

// What the program's process needs between fork(2) and exec.
struct Launch {
    int terminal;  // the terminal to take over; -1 for none
    const GroupGuard* guard;
    int execFailure;  // the pipe on which an exec that fails reports its errno
    char** arguments;
    char** variables;
};

// The program's process before it runs the program: in a new process group, which the guard watches from
// then on, that takes the terminal over when there is one to hand on, with default signal handling and no
// blocked signals. Until the exec it holds the guard's pipe open too, so that the guard knows the group
// before the program runs, even when this process has ended meanwhile. Async-signal-safe calls only.
[[noreturn]] void StartProgram(const Launch& launch)
{
    ::setpgid(0, 0);
    launch.guard->WatchOwnGroup();
    if (launch.terminal >= 0) {
        ::tcsetpgrp(launch.terminal, ::getpid());  // with SIGTTOU still blocked
    }
    ForkedProcess::DefaultSignalHandling();
    ::execvpe(launch.arguments[0], launch.arguments, launch.variables);
    const int error = errno;
    // Should the word not reach the parent, the program's end with kNotFound still tells the failure.
    [[maybe_unused]] const ssize_t told = ::write(launch.execFailure, &error, sizeof error);
    ::_exit(ChildProcess::kNotFound);
}

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

ChildProcess::~ChildProcess()
{
    EndGroup(true);
    TakeTerminal();
}

void ChildProcess::Start(const std::vector<std::string>& command, const std::vector<std::string>& environment)
{
    if (command.empty()) {
        throw SimError("no command to run");
    }
    const int terminal = ForegroundTerminal();
    std::vector<char*> arguments = Pointers(command);
    std::vector<char*> variables = Pointers(environment);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        startFailure_ = kNotStarted;
        return;
    }
    const io::FileDescriptor failureIn(ends[0]);
    io::FileDescriptor failureOut(ends[1]);
    const Launch launch{terminal, &guard_, failureOut.Get(), arguments.data(), variables.data()};
    int failure = 0;
    pid_t started = -1;
    {
        const ForkedProcess::SignalsHeld held;
        starting.store(true);
        started = ::fork();
        if (started == 0) {
            StartProgram(launch);
        }
        failure = started < 0 ? errno : 0;
        failureOut.Close();  // the exec closes the program's copy: then the pipe ends without a word
        if (started > 0 && ForkedProcess::ReadMessage(failureIn.Get(), &failure, sizeof failure) > 0) {
            while (::waitpid(started, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        runningGroup.store(failure == 0 ? started : 0);
        starting.store(false);
    }
    if (failure != 0) {
        startFailure_ = failure == ENOENT ? kNotFound : kNotStarted;
        return;
    }
    child_ = started;
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

void ChildProcess::Stop() { EndGroup(false); }

void ChildProcess::EndGroup(bool reap)
{
    if (child_ < 0) {
        return;
    }
    const auto gone = [this, reap] {
        if (reap) {
            ReapGroup();
        }
        return ::kill(-child_, 0) != 0;
    };
    if (gone()) {
        return;
    }
    ::kill(-child_, SIGTERM);
    ::kill(-child_, SIGCONT);  // a stopped program ends only once it runs
    if (!WaitUntil(gone, kStopGraceMs)) {
        ::kill(-child_, SIGKILL);
        if (reap) {
            WaitUntil(gone, kStopGraceMs);
        }
    }
}

// The group's processes that are this process's children and have ended: the program, and orphans adopted.
void ChildProcess::ReapGroup()
{
    while (::waitpid(-child_, nullptr, WNOHANG) > 0) {
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
