#include "core/SingleInstanceGuard.h"
#include "platform/NamedMutex.h"
#include "tests/cli/SimulatedBusTest.h"
#include "tests/support/OtherUser.h"

namespace {

using SingleInstanceTest = SimulatedBusTest;

const std::string kRefusal =
    "Another instance of Morvel Deskvane, Tarnix Programmer or Reflashor is already running, "
    "please close them before using TarnixProgrammer CLI.\n";
const std::string kVersion = "Tarnix Programmer version: 1.1.1.0\nOperation succeeded\n";

TEST_F(SingleInstanceTest, SecondInstanceIsRefusedWithoutTouchingTheSensor)
{
    const std::string serial = Plug();
    // This test holds the mutex that every program of the system takes first.
    tarnix::platform::NamedMutex running(SingleInstanceGuard::kProgramMutexName);
    ASSERT_FALSE(running.AlreadyExisted());

    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"-l"}, {"-r", "params.json"}, {"--bogus"}}) {
        const ProgramRun run = RunCli(arguments);
        EXPECT_EQ(run.out, kRefusal);
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
    EXPECT_EQ(RunCli({"-v"}).out, kVersion);
}

// The tool run by root and by an unprivileged user in turn: each is refused only while the other's
// program holds the mutex, and a run of one never blocks the later runs of the other.
TEST_F(SingleInstanceTest, TheOtherUserIsRefusedOnlyWhileAProgramRuns)
{
    if (!tarnix::test::CanRunAsOtherUser()) {
        GTEST_SKIP() << "needs root and /usr/bin/setpriv to start the tool as another user";
    }
    const std::vector<std::string> command =
        tarnix::test::AsOtherUser({(tarnix::test::TestBinaryFolder() / "TarnixProgrammer_CLI").string(), "-v"});
    const auto runAsOtherUser = [&] {
        return RunProgram(command.front(), {command.begin() + 1, command.end()}, bus.Files().Path().string());
    };
    const auto expectOutput = [](const ProgramRun& run, const std::string& expected) {
        EXPECT_EQ(run.out, expected) << "exit code " << run.exitCode << ", error output: " << run.err;
    };
    {
        tarnix::platform::NamedMutex running(SingleInstanceGuard::kProgramMutexName);
        ASSERT_FALSE(running.AlreadyExisted());
        expectOutput(runAsOtherUser(), kRefusal);
    }
    expectOutput(runAsOtherUser(), kVersion);
    expectOutput(RunCli({"-v"}), kVersion);
    expectOutput(runAsOtherUser(), kVersion);
    expectOutput(RunCli({"-v"}), kVersion);
}

}  // namespace
