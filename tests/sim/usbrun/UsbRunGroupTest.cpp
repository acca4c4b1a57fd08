// No program of the command's process group runs on once usb-run has ended, whichever way it ended: killed
// by a signal it cannot handle (SIGKILL) or does not handle (its default action ends it), failing while the
// command runs, or ending while programs the command started in the background still run.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/sim/usbrun/UsbRunSession.h"

namespace tarnix::test {
namespace {

// How long the group's programs may take to end once usb-run has gone.
constexpr auto kEndLimit = std::chrono::seconds(10);

// Whether the process runs in the group: it is there, has not ended (a zombie has) and still belongs to the
// group (a new process that got the same number does not).
bool RunsInGroup(int pid, int group)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) {
        return false;
    }
    // "PID (NAME) STATE PPID PGRP ...", where NAME may hold blanks and parentheses.
    std::istringstream fields(line.substr(line.rfind(')') + 1));
    char state = 0;
    int parent = 0;
    int processGroup = 0;
    fields >> state >> parent >> processGroup;
    return state != 'Z' && state != 'X' && processGroup == group;
}

// The processes of the group that still run after kEndLimit; they are waited for until then.
std::vector<int> StillRunning(const std::vector<int>& pids, int group)
{
    const auto deadline = std::chrono::steady_clock::now() + kEndLimit;
    std::vector<int> running;
    for (;;) {
        running.clear();
        for (const int pid : pids) {
            if (RunsInGroup(pid, group)) {
                running.push_back(pid);
            }
        }
        if (running.empty() || std::chrono::steady_clock::now() >= deadline) {
            return running;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// The numbers in a file the command wrote.
std::vector<int> Numbers(const std::string& text)
{
    std::istringstream words(text);
    std::vector<int> numbers;
    for (int number = 0; words >> number;) {
        numbers.push_back(number);
    }
    return numbers;
}

// A command script that starts programs in its group (a sleep, and a shell with a sleep of its own), writes
// their numbers into `pids` (the group's, the command's own, first) and the test bed's folder into `testBed`,
// and then runs `then`.
std::string GroupScript(const SimulatedBus& bus, const std::string& then)
{
    const std::string pids = bus.File("pids");
    const std::string nested = bus.File("nested");
    return "sh -c 'sleep 60 & echo $! >" + nested + ".new; mv " + nested + ".new " + nested + "; wait' & shell=$!; " +
           "sleep 60 & sleep=$!; while [ ! -f " + nested + " ]; do sleep 0.01; done; " +
           "echo $$ $shell $sleep $(cat " + nested + ") >" + pids + ".new; mv " + pids + ".new " + pids + "; " +
           "echo $UMOCKDEV_DIR >" + bus.File("testbed") + "; " + then;
}

struct EndingSignal {
    int number;
    const char* name;
};

class UsbRunEndedBySignal : public testing::TestWithParam<EndingSignal> {};

// The command signals usb-run, its parent, once its programs run.
TEST_P(UsbRunEndedBySignal, NoProgramOfTheCommandsGroupRunsOn)
{
    UsbRunSession session;
    const ToolRun run = session.Run(
        GroupScript(session.Bus(), "kill -" + std::to_string(GetParam().number) + " $PPID; sleep 60; echo ran-on"));
    const std::vector<int> pids = Numbers(session.Bus().Files().Read("pids"));
    // usb-run, ended by the signal, could not remove its test bed.
    std::string testBed = session.Bus().Files().Read("testbed");
    testBed.erase(testBed.find_last_not_of('\n') + 1);
    ASSERT_NE(testBed.find("umockdev"), std::string::npos) << testBed;
    std::error_code ignored;
    std::filesystem::remove_all(testBed, ignored);

    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.out.find("ran-on"), std::string::npos) << run.out;
    ASSERT_EQ(pids.size(), 4u) << "the command, its shell, its sleep, the shell's sleep";
    EXPECT_EQ(StillRunning(pids, pids.front()), std::vector<int>()) << run.err;
}

// SIGKILL cannot be handled; the default action of the others ends usb-run as well.
INSTANTIATE_TEST_SUITE_P(Signals, UsbRunEndedBySignal,
                         testing::Values(EndingSignal{SIGKILL, "Kill"}, EndingSignal{SIGUSR1, "User1"},
                                         EndingSignal{SIGALRM, "Alarm"}),
                         [](const testing::TestParamInfo<EndingSignal>& info) { return info.param.name; });

// usb-run, started with SIGCHLD ignored, loses track of the command as soon as it ends (the kernel reaps it
// then) and fails: a program the command left running in its group does not run on. (A shell started with
// SIGCHLD ignored cannot wait for a program in the foreground, so the command only starts one.)
TEST(UsbRunGroup, AUsbRunThatFailsWhileTheCommandRunsStopsItsGroup)
{
    UsbRunSession session;
    const std::string pids = session.Bus().File("pids");
    const std::string command = "sleep 60 & echo $$ $! >" + pids + ".new; mv " + pids + ".new " + pids + "; exit 0";
    const ToolRun run = RunCommand({"env", "--ignore-signal=CHLD", (TestBinaryFolder() / "tarnix-sim").string(),
                                    "usb-run", "--", "sh", "-c", command},
                                   session.Bus().Files());
    EXPECT_EQ(run.exitCode, 125) << run.err;
    EXPECT_NE(run.err.find("tarnix-sim usb-run: lost track of the command"), std::string::npos) << run.err;
    const std::vector<int> started = Numbers(session.Bus().Files().Read("pids"));
    ASSERT_EQ(started.size(), 2u) << "the command and its sleep";
    EXPECT_EQ(StillRunning(started, started.front()), std::vector<int>());
}

// Programs of the group that run on after the command has ended keep the test bed for
// UsbRun::kLeftoverLimitMs; then usb-run stops them before it removes the test bed.
TEST(UsbRunGroup, ProgramsOfTheGroupStillRunningWhenUsbRunEndsAreStopped)
{
    UsbRunSession session;
    const ToolRun run = session.Run(GroupScript(session.Bus(), "exit 5"));
    EXPECT_EQ(run.exitCode, 5) << run.err;
    const std::vector<int> pids = Numbers(session.Bus().Files().Read("pids"));
    ASSERT_EQ(pids.size(), 4u);
    for (const int pid : pids) {
        EXPECT_FALSE(RunsInGroup(pid, pids.front())) << pid << " runs on after usb-run";
    }
}

}  // namespace
}  // namespace tarnix::test
