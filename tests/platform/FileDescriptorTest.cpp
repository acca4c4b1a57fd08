#include "io/FileDescriptor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace {

using tarnix::io::FileDescriptor;

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) >= 0; }

TEST(FileDescriptor, OpenAddsCloseOnExecAndFailsWithoutADescriptor)
{
    const FileDescriptor file = FileDescriptor::Open("/dev/null", O_RDONLY);
    ASSERT_TRUE(file.IsValid());
    EXPECT_NE(::fcntl(file.Get(), F_GETFD) & FD_CLOEXEC, 0);

    const FileDescriptor missing = FileDescriptor::Open("/nonexistent/tarnix-no-such-file", O_RDONLY);
    EXPECT_FALSE(missing.IsValid());
    EXPECT_EQ(missing.Get(), -1);
}

TEST(FileDescriptor, TheLastOwnerClosesOnceAndAMovedFromOwnerHoldsNone)
{
    int reused = -1;
    {
        FileDescriptor first = FileDescriptor::Open("/dev/null", O_RDONLY);
        const int fd = first.Get();
        const int other = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(other, 0);
        {
            const FileDescriptor second(std::move(first));
            EXPECT_FALSE(first.IsValid());
            EXPECT_EQ(second.Get(), fd);
        }
        EXPECT_FALSE(IsOpen(fd));
        // Another file under the same number: the moved-from owner must leave it alone when it goes.
        reused = ::dup3(other, fd, O_CLOEXEC);
        ::close(other);
        ASSERT_EQ(reused, fd);
    }
    EXPECT_TRUE(IsOpen(reused));
    ::close(reused);
}

TEST(FileDescriptor, MoveAssignmentClosesWhatTheTargetHeld)
{
    FileDescriptor target = FileDescriptor::Open("/dev/null", O_RDONLY);
    FileDescriptor source = FileDescriptor::Open("/dev/null", O_RDONLY);
    const int old = target.Get();
    const int moved = source.Get();
    target = std::move(source);
    EXPECT_FALSE(IsOpen(old));
    EXPECT_EQ(target.Get(), moved);
    EXPECT_TRUE(IsOpen(moved));
    EXPECT_FALSE(source.IsValid());
}

}  // namespace
