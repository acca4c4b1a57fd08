#pragma once

#include <string>
#include <vector>

namespace tarnix::sim {

// Runs a program to its end the way a shell does.
class ChildProcess {
public:
    // Exit codes of a program that could not be run, as a shell gives them.
    static constexpr int kNotFound = 127;
    static constexpr int kNotStarted = 126;

    // Starts the program (looked up through PATH when the name has no slash) with its arguments and the
    // given environment ("NAME=value" entries) and waits for it. The result is its exit code, 128 + n when
    // signal n ended it, kNotFound or kNotStarted. While it runs this process ignores SIGINT and SIGQUIT (a
    // terminal sends them to the program too) and passes SIGTERM and SIGHUP on to it.
    static int Run(const std::vector<std::string>& command, const std::vector<std::string>& environment);

    // From now on, processes that the programs started here leave behind (such as a program started
    // detached, whose parent has ended) become children of this process instead of the system's.
    static void AdoptOrphans();
    // Waits for the adopted processes and any children still running to end, at most `limitMs`.
    static void WaitForLeftovers(int limitMs);
};

}  // namespace tarnix::sim
