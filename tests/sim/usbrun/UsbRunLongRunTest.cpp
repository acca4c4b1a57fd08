// usb-run over long runs: the test bed releases what it made for a device once the device has gone, so
// that hundreds of plug-ins and mode switches fit under a small descriptor limit; and a test bed that cannot
// go on stops the command instead of leaving it on a bus that no longer follows the simulated one.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "tests/sim/usbrun/UsbRunSession.h"

namespace tarnix::test {
namespace {

// Both descriptor limits at `room` above the descriptors that usb-run inherits.
std::string LimitsWithRoom(int room) { return "-n $(( $(ls /proc/$$/fd | wc -l) + " + std::to_string(room) + " ))"; }

// usb-run's own descriptors with the test bed made (about 7 besides those it inherits), and room for the
// descriptors a device keeps while it is plugged in and the moments of a change.
const std::string kSmallLimit = LimitsWithRoom(38);
// Each cycle ends with the sensor gone; a device kept per cycle would exhaust the small limit within them.
constexpr int kPlugCycles = 150;
constexpr int kSwitchCycles = 60;
// Descriptors usb-run may hold for a moment beyond those held after the first cycle (connections of the
// probe's files that the test bed has not closed yet).
constexpr int kSlack = 6;

// A script line that counts usb-run's descriptors (usb-run is the parent of the command's shell) into
// first= (after the first cycle) and last=.
const std::string kCount = "count=$(ls /proc/$PPID/fd | wc -l); [ -n \"$first\" ] || first=$count; last=$count; ";

// The script's counts against each other.
void ExpectFlatCount(const ToolRun& run, int cycles)
{
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto values = UsbRunSession::Values(run.out);
    ASSERT_EQ(values.count("cycles"), 1u) << run.out;
    EXPECT_EQ(values.at("cycles"), std::to_string(cycles));
    EXPECT_LE(std::stoi(values.at("last")), std::stoi(values.at("first")) + kSlack) << run.out;
}

TEST(UsbRunLongRun, HundredsOfPlugAndUnplugCyclesKeepUsbRunsDescriptorCountFlat)
{
    UsbRunSession session;
    const std::string port = UsbRunSession::PortPath(1);
    const std::string script = "n=0; while [ $n -lt " + std::to_string(kPlugCycles) +
                               " ]; do "
                               "s=$(\"$SIM\" plug) || exit 2; "
                               "\"$PROBE\" wait-tree " +
                               port + " 4 5000 >/dev/null || { echo not-shown=$n; exit 3; }; \"$SIM\" unplug $s; " +
                               "\"$PROBE\" wait-gone " + port + " 5000 || { echo not-gone=$n; exit 4; }; " + kCount +
                               "n=$((n+1)); done; echo cycles=$n; echo first=$first; echo last=$last";
    ExpectFlatCount(session.RunLimited(kSmallLimit, script), kPlugCycles);
}

TEST(UsbRunLongRun, ModeSwitchesThereAndBackKeepUsbRunsDescriptorCountFlat)
{
    UsbRunSession session;
    const std::string port = UsbRunSession::PortPath(1);
    session.Bus().Plug(sim::SensorMode::Normal);
    // Each appearance has nodes of its own: a new hidraw node in normal mode, a new usbfs node in DFU mode.
    const std::string script = "n=0; while [ $n -lt " + std::to_string(kSwitchCycles) +
                               " ]; do "
                               "\"$PROBE\" wait-tree " +
                               port +
                               " 4 5000 >/dev/null || { echo no-sensor=$n; exit 3; }; "
                               "\"$PROBE\" hid-switch /dev/$(ls /sys/class/hidraw) >/dev/null || exit 4; "
                               "node=$(\"$PROBE\" wait-device 0483 df11 5000 | sed -n 's/^node=//p'); "
                               "\"$PROBE\" dfu-leave $node >/dev/null || { echo no-leave=$n; exit 5; }; " +
                               kCount + "n=$((n+1)); done; echo cycles=$n; echo first=$first; echo last=$last";
    ExpectFlatCount(session.RunLimited(kSmallLimit, script), kSwitchCycles);
}

// The device numbers of the usb_devices of a `usbrun_probe devices` listing, from their nodes.
std::vector<int> UsbDeviceNumbers(const std::string& listing)
{
    std::vector<int> numbers;
    for (const auto& [path, fields] : UsbRunSession::Devices(listing)) {
        if (fields.at(1) == "usb_device") {
            numbers.push_back(std::stoi(fields.at(2).substr(fields.at(2).rfind('/') + 1)));
        }
    }
    return numbers;
}

// The kernel gives a new device the next free number after the one given last, 1 to 127, and starts again
// from the bottom after 127, passing over the numbers in use (the root hub's 1, a sensor that stays).
TEST(UsbRunLongRun, UsbDeviceNumbersGoUpTo127ThenStartAgainPassingOverThoseInUse)
{
    UsbRunSession session;
    session.Bus().Plug(sim::SensorMode::Normal);
    constexpr int kCycles = 140;
    const std::string script = "n=0; while [ $n -lt " + std::to_string(kCycles) +
                               " ]; do "
                               "s=$(\"$SIM\" plug --mode dfu) || exit 2; "
                               "node=$(\"$PROBE\" wait-device 0483 df11 5000 | sed -n 's/^node=//p'); "
                               "\"$PROBE\" dfu-read $node 0x08000000 16 /dev/null >/dev/null || "
                               "{ echo no-answer=$n; exit 3; }; "
                               "echo \"cycle $n $node\"; \"$PROBE\" devices; \"$SIM\" unplug $s; "
                               "\"$PROBE\" wait-gone " +
                               UsbRunSession::PortPath(2) +
                               " 5000 || { echo not-gone=$n; exit 4; }; n=$((n+1)); done; echo cycles=$n";
    const ToolRun run = session.Run(script);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ASSERT_EQ(UsbRunSession::Values(run.out)["cycles"], std::to_string(kCycles)) << run.out;

    // Each cycle's listing: the devices present while the bootloader plugged in then answered.
    std::vector<std::string> cycles;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("cycle ", 0) == 0) {
            cycles.emplace_back();
        } else if (!cycles.empty()) {
            cycles.back() += line + "\n";
        }
    }
    ASSERT_EQ(cycles.size(), static_cast<std::size_t>(kCycles));
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        std::vector<int> numbers = UsbDeviceNumbers(cycles[cycle]);
        std::sort(numbers.begin(), numbers.end());
        // The root hub, the sensor that stays and the bootloader, which gets 3..127, then 3 again.
        const std::vector<int> expected = {1, 2, 3 + cycle % 125};
        EXPECT_EQ(numbers, expected) << "cycle " << cycle << ":\n" << cycles[cycle];
    }
}

// The command has the limit it would have had without usb-run (programs that use select(2) need the usual
// soft limit); usb-run, which keeps descriptors for the devices it shows, takes all it may have.
TEST(UsbRunLongRun, UsbRunTakesTheHardDescriptorLimitAndTheCommandKeepsItsOwn)
{
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max <= 48) {
        GTEST_SKIP() << "needs a hard descriptor limit above 48";
    }
    UsbRunSession session;
    const ToolRun run = session.RunLimited("-Sn 48",
                                           "echo command=$(ulimit -Sn); awk '/^Max open files/ "
                                           "{ print \"usbrun=\" $4; print \"hard=\" $5 }' /proc/$PPID/limits");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto values = UsbRunSession::Values(run.out);
    ASSERT_EQ(values.count("usbrun"), 1u) << run.out;
    EXPECT_EQ(values.at("command"), "48");
    EXPECT_EQ(values.at("usbrun"), values.at("hard"));
}

// The sensors plugged at once need more descriptors than the hard limit leaves usb-run (each device node it
// serves holds one while it is plugged in). The command goes on to wait for them all and would then say so.
TEST(UsbRunLongRun, ATestBedOutOfDescriptorsStopsTheCommandAndEveryProgramItStarted)
{
    UsbRunSession session;
    const std::string background = session.Bus().File("background");
    const std::string script = "sleep 60 & echo $! >" + background +
                               "; i=0; while [ $i -lt 40 ]; do \"$SIM\" plug >/dev/null; i=$((i+1)); done; "
                               "\"$PROBE\" wait-tree " +
                               std::string(UsbRunSession::kRootHub) + " 161 20000 >/dev/null; echo ran-on";
    const auto start = std::chrono::steady_clock::now();
    const ToolRun run = session.RunLimited(LimitsWithRoom(22), script);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << "the command was not stopped";
    EXPECT_EQ(run.exitCode, 125) << run.out << run.err;
    EXPECT_EQ(run.out.find("ran-on"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("tarnix-sim usb-run: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the command was stopped"), std::string::npos) << run.err;
    const std::string pid = session.Bus().Files().Read("background");
    ASSERT_FALSE(pid.empty());
    EXPECT_NE(::kill(std::stoi(pid), 0), 0) << "a program the command started in the background runs on";
}

// However usb-run ends, the command does not run on without it.
TEST(UsbRunLongRun, WhenUsbRunDiesTheCommandDiesWithIt)
{
    UsbRunSession session;
    const std::string pidFile = session.Bus().File("command");
    const ToolRun run = session.Run("echo $$ $UMOCKDEV_DIR >" + pidFile + "; kill -ABRT $PPID; sleep 60; echo ran-on");
    std::istringstream started(session.Bus().Files().Read("command"));
    int pid = 0;
    std::string testBed;
    started >> pid >> testBed;
    // usb-run, ended by the signal, could not remove its test bed.
    ASSERT_NE(testBed.find("umockdev"), std::string::npos) << testBed;
    std::error_code ignored;
    std::filesystem::remove_all(testBed, ignored);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("the command was stopped"), std::string::npos) << run.err;
    ASSERT_GT(pid, 0);
    // The command, now an orphan, ends as soon as the signal reaches it.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::kill(pid, 0) == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_NE(::kill(pid, 0), 0) << "the command runs on";
}

// The command runs in a process group of its own; on a terminal that group is given the terminal, so that
// the command reads it (a password prompt, say) as it would without usb-run.
TEST(UsbRunLongRun, ACommandOnATerminalReadsIt)
{
    UsbRunSession session;
    const std::string inner = "\"$SIM\" usb-run -- sh -c 'read answer; echo got=$answer'";
    const ToolRun run =
        RunCommand({"sh", "-c", "printf 'yes\\n' | timeout 20 script -qec " + ShellQuoted(inner) + " /dev/null"},
                   session.Bus().Files());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("got=yes"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace tarnix::test
