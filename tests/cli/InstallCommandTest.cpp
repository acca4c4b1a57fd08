#include "tests/cli/SimulatedBusTest.h"

namespace {

using InstallCommandTest = SimulatedBusTest;

// The command prints nothing itself. The installer runs on the tool's console, where a successful install
// says nothing, and the tool waits for it: the driver is in place when the tool has ended.
TEST_F(InstallCommandTest, IncompatibleDriversStartTheInstaller)
{
    const std::string serial = Plug({"--mode", "dfu", "--driver", "incompatible"});
    const ProgramRun run = RunCli({"-i"});
    EXPECT_EQ(run.out, "Operation succeeded\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(DriverOf(serial), "ok");
    EXPECT_EQ(RunCli({"-l"}).exitCode, 0);
}

TEST_F(InstallCommandTest, CorrectDriversNeedNoAction)
{
    const std::string serial = Plug();
    const ProgramRun run = RunCli({"--install"});
    EXPECT_EQ(run.out, "Correct drivers installed. No action needed.\nOperation succeeded\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_GE(run.milliseconds, 4000.0);  // the switch is given its full wait
    EXPECT_EQ(ModeOf(serial), "dfu");
}

TEST_F(InstallCommandTest, NoDeviceConnected)
{
    const ProgramRun run = RunCli({"-i"});
    EXPECT_EQ(run.out,
              "Error: No device connected. Make sure to connect a sensor before running the install command.\n\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 255);
}

}  // namespace
