#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "tests/sim/usbrun/UsbRunSession.h"

namespace tarnix::test {
namespace {

// Runs the rest of a script as the unprivileged user "nobody".
constexpr const char* kAsNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

TEST(UsbRunCommand, TheCommandsExitCodeComesBackAndUsbRunsOwnFailuresAre125)
{
    UsbRunSession session;
    EXPECT_EQ(session.Run("exit 7").exitCode, 7);
    EXPECT_EQ(session.Run("exit 0").exitCode, 0);
    EXPECT_EQ(session.Run("kill -TERM $$").exitCode, 128 + 15) << "a signal n gives 128 + n";
    EXPECT_EQ(session.RunCommand({"/nonexistent/program"}).exitCode, 127);
    EXPECT_EQ(RunBeside("tarnix-sim", {"usb-run", "sh", "-c", "exit 3"}, session.Bus().Files()).exitCode, 3)
        << "the -- is optional";

    const ToolRun missing = RunBeside("tarnix-sim", {"usb-run", "--"}, session.Bus().Files());
    EXPECT_EQ(missing.exitCode, 125);
    EXPECT_NE(missing.err.find("usage: tarnix-sim usb-run [--] COMMAND"), std::string::npos) << missing.err;
    EXPECT_EQ(RunBeside("tarnix-sim", {"usb-run", "--verbose", "true"}, session.Bus().Files()).exitCode, 125);
}

TEST(UsbRunCommand, ATerminationRequestReachesTheCommandAndUsbRunStillCleansUp)
{
    UsbRunSession session;
    const std::string ready = session.Bus().File("ready");
    const std::string script = "\"$SIM\" usb-run -- sh -c 'echo $UMOCKDEV_DIR >" + ready + ".new; mv " + ready +
                               ".new " + ready + "; exec sleep 30' & pid=$!; while [ ! -f " + ready +
                               " ]; do sleep 0.01; done; "
                               "kill -TERM $pid; wait $pid; echo status=$?";
    const std::string outputFile = session.Bus().File("status");
    ASSERT_EQ(std::system(("sh -c " + ShellQuoted(script) + " >" + outputFile).c_str()), 0);
    EXPECT_EQ(session.Bus().Files().Read("status"), "status=143\n") << "sleep ended by SIGTERM: 128 + 15";
    std::string testbed = session.Bus().Files().Read("ready");
    testbed.erase(testbed.find_last_not_of('\n') + 1);
    ASSERT_FALSE(testbed.empty());
    EXPECT_NE(::access(testbed.c_str(), F_OK), 0) << "the test bed is removed";
}

// The driver installer is started detached and may still run when the program that started it has ended.
TEST(UsbRunCommand, ProgramsTheCommandLeavesRunningStillFindTheTestBedAndItsDoubles)
{
    UsbRunSession session;
    const std::string marker = session.Bus().File("late");
    const ToolRun run = session.Run("(sleep 0.3; test -x \"$TARNIX_UDEV_ROOT/usr/bin/udevadm\" && test -d " +
                                    std::string(UsbRunSession::kRootHub) + " && echo still-there >" + marker +
                                    ") >/dev/null 2>&1 & exit 4");
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(session.Bus().Files().Read("late"), "still-there\n");
}

TEST(UsbRunCommand, TheCommandRunsOnTheRealBusBackendInsideTheTestBed)
{
    UsbRunSession session;
    const ToolRun run = session.Run(
        "echo bus=$TARNIX_BUS; echo sim=$TARNIX_SIM_DIR; echo rules=$(ls -A \"$TARNIX_UDEV_ROOT/etc/udev/rules.d\" | "
        "wc -l); "
        "test -x \"$TARNIX_UDEV_ROOT/usr/bin/udevadm\" && echo udevadm=yes; "
        "test -d /sys/devices/pci0000:00/0000:00:14.0/usb1 && echo roothub=yes; echo testbed=$UMOCKDEV_DIR");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto values = UsbRunSession::Values(run.out);
    EXPECT_EQ(values.at("bus"), "usb");
    EXPECT_EQ(values.at("sim"), session.Bus().Folder());
    EXPECT_EQ(values.at("rules"), "0") << "an empty rule folder of its own";
    EXPECT_EQ(values.at("udevadm"), "yes");
    EXPECT_EQ(values.at("roothub"), "yes");
    ASSERT_FALSE(values.at("testbed").empty());
    EXPECT_NE(::access(values.at("testbed").c_str(), F_OK), 0) << "the test bed is removed afterwards";
}

TEST(UsbRunCommand, AnotherUserSeesTheDevicesButMayNotOpenTheirNodes)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the command as another user";
    }
    UsbRunSession session;
    session.Bus().Plug(sim::SensorMode::Normal);
    session.Bus().Plug(sim::SensorMode::Dfu);
    const ToolRun run = session.Run(std::string(kAsNobody) +
                                    "sh -c '$PROBE devices; $PROBE hid-request /dev/hidraw0; "
                                    "$PROBE dfu-read /dev/bus/usb/001/003 0x08000000 16 /dev/null; echo end=$?'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto devices = UsbRunSession::Devices(run.out);
    EXPECT_EQ(devices.count(UsbRunSession::PortPath(1) + "/1-1:1.0/0003:3C9E:0101.0001/hidraw/hidraw0"), 1u);
    EXPECT_EQ(devices.at(UsbRunSession::PortPath(2)).at(4), "1") << "the DFU device with its driver property";
    EXPECT_EQ(run.out.substr(run.out.find("open=")), "open=EACCES\nopen=EACCES\nend=1\n");
}

}  // namespace
}  // namespace tarnix::test
