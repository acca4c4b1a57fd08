#include "core/SingleInstanceGuard.h"
#include "platform/NamedMutex.h"
#include "tests/cli/SimulatedBusTest.h"

namespace {

using SingleInstanceTest = SimulatedBusTest;

TEST_F(SingleInstanceTest, SecondInstanceIsRefusedWithoutTouchingTheSensor)
{
    const std::string serial = Plug();
    // This test holds the mutex that every program of the system takes first.
    tarnix::platform::NamedMutex running(SingleInstanceGuard::kProgramMutexName);
    ASSERT_FALSE(running.AlreadyExisted());

    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"-l"}, {"-r", "params.json"}, {"--bogus"}}) {
        const ProgramRun run = RunCli(arguments);
        EXPECT_EQ(run.out,
                  "Another instance of Morvel Deskvane, Tarnix Programmer or Reflashor is already running, please "
                  "close them before using TarnixProgrammer CLI.\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exitCode, 0);
    }
    EXPECT_EQ(ModeOf(serial), "normal");
    EXPECT_EQ(bus.Files().Read("params.json"), "");
}

TEST_F(SingleInstanceTest, RunsAgainOnceTheOtherInstanceHasEnded)
{
    {
        tarnix::platform::NamedMutex running(SingleInstanceGuard::kProgramMutexName);
        EXPECT_NE(RunCli({"-v"}).out.find("Another instance"), std::string::npos);
    }
    EXPECT_EQ(RunCli({"-v"}).out, "Tarnix Programmer version: 1.1.1.0\nOperation succeeded\n");
}

}  // namespace
