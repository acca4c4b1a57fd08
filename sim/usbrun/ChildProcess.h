#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "sim/usbrun/GroupGuard.h"

namespace tarnix::sim {

// Runs a program the way a shell runs a job: in a process group of its own, which also holds the programs
// it starts, so that they can all be stopped at once. One at a time.
//
// No process of the group runs on after this process: the object stops what is left of the group when it
// goes, a fatal signal that this process handles kills the group first, and a watch process (GroupGuard)
// kills what is left of the group once this process has ended however it ended (SIGKILL too), as long as
// the watch itself has not been killed. Beyond that promise: programs that leave the group (a new session,
// as the desktop application starts the driver installer) and programs whose rights protect them from this
// process's signals (set-user-ID).
class ChildProcess {
public:
    // Exit codes of a program that could not be run, as a shell gives them.
    static constexpr int kNotFound = 127;
    static constexpr int kNotStarted = 126;
    // How long the group has after SIGTERM before SIGKILL ends what is left of it.
    static constexpr int kStopGraceMs = 2000;

    // Starts the program (looked up through PATH when the name has no slash) with its arguments and the
    // given environment ("NAME=value" entries), with default signal handling, in a new process group. When
    // this process is the foreground job of the terminal on its standard input, the new group takes the
    // terminal over while it runs, as a shell's job does. While the object lives, SIGINT, SIGQUIT, SIGTERM
    // and SIGHUP sent to this process are passed on to the group, and a fatal signal that ends this process
    // (an abort, say) kills the group first and says so on standard error.
    ChildProcess(const std::vector<std::string>& command, const std::vector<std::string>& environment);
    // Ends what is left of the program's group (as Stop does; the program too, when it still runs) and
    // reaps the group's processes that are this process's children, then gives the terminal back to this
    // process's group and brings back the earlier signal handling.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for the program; its exit code, 128 + n when signal n ended it, or kNotFound or kNotStarted when
    // it could not be started. When the terminal's stop key stops the program, this process stops too, and
    // both go on together.
    int Wait();
    // Ends the program's group: SIGTERM, then SIGKILL for what is left after kStopGraceMs. Blocks until the
    // group is gone or killed; call it from a thread other than the one in Wait.
    void Stop();

    // From now on, processes that the programs started here leave behind (such as a program started
    // detached, whose parent has ended) become children of this process instead of the system's.
    static void AdoptOrphans();
    // Waits for the adopted processes and any children still running to end, at most `limitMs` (the watch
    // of a program's group, a child too, ends once the group has).
    static void WaitForLeftovers(int limitMs);

private:
    class Signals;

    void Start(const std::vector<std::string>& command, const std::vector<std::string>& environment);
    void TakeTerminal() const;
    void StopAlongWith(int stopSignal) const;
    // SIGTERM to the group, SIGKILL for what is left after kStopGraceMs. With `reap` (never while another
    // thread is in Wait), the group's processes that are this process's children are reaped as they end, and
    // after SIGKILL the group is waited for once more, as long.
    void EndGroup(bool reap);
    void ReapGroup();

    std::unique_ptr<Signals> signals_;
    GroupGuard guard_;
    pid_t child_ = -1;
    int startFailure_ = 0;  // kNotFound or kNotStarted; 0 once started
    int terminal_ = -1;     // the terminal handed to the program's group; -1 for none
};

}  // namespace tarnix::sim
