#include "platform/NamedMutex.h"
#include "tests/support/OtherUser.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using tarnix::platform::NamedMutex;

namespace {

// A name of this test process alone, so that parallel test runs and running programs are not disturbed.
std::string UniqueName(const char* what)
{
    return std::string("Global\\TarnixTest") + what + std::to_string(::getpid());
}

// Runs `body` in a child process and returns its exit code.
template <typename Body>
int InChild(Body body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The holder program built beside this test, running in its own process (as this user or as the other
// one): it takes the mutex, says whether it was first, and keeps the mutex until released or killed.
class MutexHolder {
public:
    MutexHolder(const std::string& name, bool asOtherUser)
    {
        std::vector<std::string> command{(tarnix::test::TestBinaryFolder() / "tarnix_named_mutex_holder").string(),
                                         name};
        if (asOtherUser) {
            command = tarnix::test::AsOtherUser(command);
        }
        Start(command);
    }
    ~MutexHolder() { Kill(); }
    MutexHolder(const MutexHolder&) = delete;
    MutexHolder& operator=(const MutexHolder&) = delete;

    // "first" or "existed" once the holder has the mutex; empty when it could not start.
    std::string Answer()
    {
        std::string line;
        char character = 0;
        while (output >= 0 && ::read(output, &character, 1) == 1 && character != '\n') {
            line += character;
        }
        return line;
    }

    // Lets the holder end normally and waits for it.
    void Release()
    {
        CloseInput();
        Wait();
    }

    // Ends the holder with SIGKILL, so it closes nothing itself, and waits for it.
    void Kill()
    {
        if (child > 0) {
            ::kill(child, SIGKILL);
        }
        CloseInput();
        Wait();
    }

private:
    void Start(const std::vector<std::string>& command)
    {
        int toChild[2];
        int fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& word : command) {
            argv.push_back(const_cast<char*>(word.c_str()));
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            child = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        input = toChild[1];
        output = fromChild[0];
    }

    void CloseInput()
    {
        if (input >= 0) {
            ::close(input);
            input = -1;
        }
    }

    void Wait()
    {
        if (child > 0) {
            ::waitpid(child, nullptr, 0);
            child = -1;
        }
        if (output >= 0) {
            ::close(output);
            output = -1;
        }
    }

    pid_t child = -1;
    int input = -1;
    int output = -1;
};

// What a program started once as `asOtherUser` finds: "first" or "existed".
std::string AnswerOfAShortRun(const std::string& name, bool asOtherUser)
{
    MutexHolder run(name, asOtherUser);
    const std::string answer = run.Answer();
    run.Release();
    return answer;
}

TEST(NamedMutex, FirstHolderInAProcessAndSecondSeesIt)
{
    const std::string name = UniqueName("Same");
    auto first = std::make_unique<NamedMutex>(name);
    EXPECT_FALSE(first->AlreadyExisted());
    {
        NamedMutex second(name);
        EXPECT_TRUE(second.AlreadyExisted());
    }
    first.reset();
    NamedMutex third(name);
    EXPECT_FALSE(third.AlreadyExisted());
}

TEST(NamedMutex, IsSeenByAnotherProcess)
{
    const std::string name = UniqueName("Cross");
    NamedMutex holder(name);
    ASSERT_FALSE(holder.AlreadyExisted());
    EXPECT_EQ(InChild([&] { return NamedMutex(name).AlreadyExisted() ? 7 : 3; }), 7);
}

TEST(NamedMutex, AKilledHolderFreesTheNameAtOnce)
{
    const std::string name = UniqueName("Crash");
    MutexHolder holder(name, false);
    ASSERT_EQ(holder.Answer(), "first");
    EXPECT_TRUE(NamedMutex(name).AlreadyExisted());
    holder.Kill();
    EXPECT_FALSE(NamedMutex(name).AlreadyExisted());
}

// Punctuation counts, and names longer than any socket address still keep their last character.
TEST(NamedMutex, DistinctNamesDoNotMeet)
{
    const std::string name = UniqueName("Distinct");
    const std::string longName = name + std::string(300, 'x');
    const NamedMutex backslash(name + "\\Tool");
    const NamedMutex longOne(longName + "1");
    EXPECT_FALSE(NamedMutex(name + "/Tool").AlreadyExisted());
    EXPECT_FALSE(NamedMutex(longName + "2").AlreadyExisted());
    EXPECT_FALSE(NamedMutex(longName).AlreadyExisted());
    EXPECT_TRUE(NamedMutex(longName + "1").AlreadyExisted());
}

// $TARNIX_MUTEX_PREFIX keeps test runs apart from each other and from the real programs.
TEST(NamedMutex, APrefixFromTheEnvironmentMakesASeparateName)
{
    const std::string name = UniqueName("Prefixed");
    const NamedMutex unprefixed(name);
    tarnix::test::ScopedEnvironmentVariable prefix("TARNIX_MUTEX_PREFIX", "run-a:");
    const NamedMutex inRunA(name);
    EXPECT_FALSE(inRunA.AlreadyExisted());
    EXPECT_TRUE(NamedMutex(name).AlreadyExisted());
    // Started processes inherit the prefix and so meet this run's mutex.
    EXPECT_EQ(AnswerOfAShortRun(name, false), "existed");
    ::setenv("TARNIX_MUTEX_PREFIX", "run-b:", 1);
    EXPECT_FALSE(NamedMutex(name).AlreadyExisted());
}

// Holders of two different users, started as root and as the unprivileged account 65534.
class NamedMutexAcrossUsers : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (!tarnix::test::CanRunAsOtherUser()) {
            GTEST_SKIP() << "needs root and /usr/bin/setpriv to start a process as another user";
        }
    }
    // The holder's user and the user of the process that comes second.
    bool HolderIsOtherUser() const { return GetParam(); }
    bool SecondIsOtherUser() const { return !GetParam(); }
};

TEST_P(NamedMutexAcrossUsers, ALiveHolderIsSeenAndItsEndFreesTheName)
{
    const std::string name = UniqueName("Users");
    MutexHolder holder(name, HolderIsOtherUser());
    ASSERT_EQ(holder.Answer(), "first");
    EXPECT_EQ(AnswerOfAShortRun(name, SecondIsOtherUser()), "existed");
    holder.Release();
    // Once the other user's program has run and ended, every later start is first, again and again.
    EXPECT_EQ(AnswerOfAShortRun(name, SecondIsOtherUser()), "first");
    EXPECT_EQ(AnswerOfAShortRun(name, HolderIsOtherUser()), "first");
    EXPECT_EQ(AnswerOfAShortRun(name, SecondIsOtherUser()), "first");
}

TEST_P(NamedMutexAcrossUsers, AKilledHolderFreesTheNameForTheOtherUserAtOnce)
{
    const std::string name = UniqueName("UsersCrash");
    MutexHolder holder(name, HolderIsOtherUser());
    ASSERT_EQ(holder.Answer(), "first");
    EXPECT_EQ(AnswerOfAShortRun(name, SecondIsOtherUser()), "existed");
    holder.Kill();
    EXPECT_EQ(AnswerOfAShortRun(name, SecondIsOtherUser()), "first");
}

INSTANTIATE_TEST_SUITE_P(, NamedMutexAcrossUsers, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
    return info.param ? std::string("HeldByOtherUser") : std::string("HeldByRoot");
});

}  // namespace
