#include "platform/NamedMutex.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(NamedMutex, ACrashedHolderDoesNotBlockTheNextStart)
{
    const std::string name = UniqueName("Crash");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        NamedMutex held(name);
        const char flag = held.AlreadyExisted() ? 'n' : 'y';
        (void)!::write(ready[1], &flag, 1);
        ::pause();
        ::_exit(0);
    }
    char flag = 0;
    ASSERT_EQ(::read(ready[0], &flag, 1), 1);
    EXPECT_EQ(flag, 'y');
    EXPECT_TRUE(NamedMutex(name).AlreadyExisted());

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_FALSE(NamedMutex(name).AlreadyExisted());
}

TEST(NamedMutex, NamesThatDifferOnlyInPunctuationStayApart)
{
    EXPECT_NE(NamedMutex::LockFilePath("Global\\Tool"), NamedMutex::LockFilePath("Global/Tool"));
    NamedMutex a(UniqueName("A.B"));
    NamedMutex b(UniqueName("A_B"));
    EXPECT_FALSE(a.AlreadyExisted());
    EXPECT_FALSE(b.AlreadyExisted());
}

}  // namespace
