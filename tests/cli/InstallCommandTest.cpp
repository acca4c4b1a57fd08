#include "tests/cli/SimulatedBusTest.h"

#include <chrono>
#include <thread>

namespace {

class InstallCommandTest : public SimulatedBusTest {
protected:
    // The installer runs on its own after the tool has ended.
    bool WaitForDriver(const std::string& serial, const std::string& driver)
    {
        for (int i = 0; i < 200; ++i) {
            if (DriverOf(serial) == driver) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

TEST_F(InstallCommandTest, IncompatibleDriversStartTheInstaller)
{
    const std::string serial = Plug({"--mode", "dfu", "--driver", "incompatible"});
    const ProgramRun run = RunCli({"-i"});
    // The command itself prints nothing. The stand-in installer runs detached with the tool's console and may
    // still add its own lines after the tool has ended.
    EXPECT_EQ(run.out.rfind("Operation succeeded\n", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(WaitForDriver(serial, "ok"));
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
