#include "io/FileDescriptor.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
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

mode_t PermissionBits(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 07777;
}

// A file that O_CREAT makes gets the given mode less the umask, and its descriptor is closed on exec.
TEST(FileDescriptor, OpenCreatesAFileWithTheGivenModeLessTheUmask)
{
    const tarnix::test::TemporaryFolder folder;
    const mode_t earlierMask = ::umask(027);
    const FileDescriptor masked =
        FileDescriptor::Open(folder.File("masked").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    ::umask(0);
    const FileDescriptor exact = FileDescriptor::Open(folder.File("exact").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0604);
    const FileDescriptor again = FileDescriptor::Open(folder.File("exact").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0604);
    const int refusal = errno;
    ::umask(earlierMask);

    ASSERT_TRUE(masked.IsValid());
    ASSERT_TRUE(exact.IsValid());
    EXPECT_EQ(PermissionBits(folder.File("masked")), 0640u);
    EXPECT_EQ(PermissionBits(folder.File("exact")), 0604u);
    EXPECT_NE(::fcntl(exact.Get(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_FALSE(again.IsValid()) << "O_EXCL on a file that exists";
    EXPECT_EQ(refusal, EEXIST);
}

// Every byte reaches the file; a device that takes none reports the failure with its errno.
TEST(FileDescriptor, WriteAllWritesEveryByteOrSaysWhyNot)
{
    const tarnix::test::TemporaryFolder folder;
    std::string bytes(300000, '\0');
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        bytes[index] = static_cast<char>(index * 7);
    }
    {
        const FileDescriptor file =
            FileDescriptor::Open(folder.File("whole").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_TRUE(file.IsValid());
        EXPECT_TRUE(file.WriteAll(bytes.data(), bytes.size()));
    }
    std::ifstream written(folder.File("whole"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), bytes);

    const FileDescriptor full = FileDescriptor::Open("/dev/full", O_WRONLY);
    ASSERT_TRUE(full.IsValid());
    errno = 0;
    EXPECT_FALSE(full.WriteAll(bytes.data(), bytes.size()));
    EXPECT_EQ(errno, ENOSPC);
}

// A writer that takes part of the bytes and then nothing more (write(2) answers 0 and sets no errno): the
// failure says "no space", not whatever an earlier call left in errno; a signal in between is retried.
TEST(FileDescriptor, WriteAllTellsAWriteOfNothingByItsOwnReason)
{
    std::string taken;
    int calls = 0;
    const auto writer = [&](const char* bytes, std::size_t) -> ssize_t {
        switch (++calls) {
            case 1:
                taken.append(bytes, 3);
                return 3;
            case 2:
                errno = EINTR;
                return -1;
            default:
                return 0;
        }
    };
    errno = EACCES;
    EXPECT_FALSE(FileDescriptor::WriteAllWith(writer, "abcdef", 6));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(taken, "abc");
    EXPECT_EQ(calls, 3);
}

TEST(FileDescriptor, CloseClosesAtOnceAndLeavesTheOwnerWithoutOne)
{
    FileDescriptor file = FileDescriptor::Open("/dev/null", O_RDONLY);
    const int fd = file.Get();
    ASSERT_TRUE(file.IsValid());
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(IsOpen(fd));
    EXPECT_FALSE(file.IsValid());
    EXPECT_TRUE(file.Close()) << "nothing left to close";
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
