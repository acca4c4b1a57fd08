#pragma once

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

namespace tarnix::io {

// Owns one open file descriptor and closes it at the end of its life. A moved-from owner holds none.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // open(2) with O_CLOEXEC added, again when a signal interrupts it; `mode` gives a file that O_CREAT makes
    // its permission bits (less the umask). An invalid descriptor, errno set, when it fails.
    static FileDescriptor Open(const char* path, int flags, mode_t mode = 0)
    {
        int fd = -1;
        do {
            fd = ::open(path, flags | O_CLOEXEC, mode);
        } while (fd < 0 && errno == EINTR);
        return FileDescriptor(fd);
    }

    bool IsValid() const { return fd_ >= 0; }
    int Get() const { return fd_; }

    // Writes all the bytes, again where a signal or a short write stops write(2) early. False, errno set, when
    // a write fails or writes nothing (ENOSPC then, as write(2) itself sets no errno for it).
    bool WriteAll(const void* data, std::size_t length) const
    {
        return WriteAllWith([this](const char* bytes, std::size_t count) { return ::write(fd_, bytes, count); }, data,
                            length);
    }

    // The loop of WriteAll over a writer that behaves as write(2) does.
    template <typename Writer>
    static bool WriteAllWith(Writer&& write, const void* data, std::size_t length)
    {
        const char* bytes = static_cast<const char*>(data);
        while (length > 0) {
            const ssize_t written = write(bytes, length);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written == 0) {
                errno = ENOSPC;
            }
            if (written <= 0) {
                return false;
            }
            bytes += written;
            length -= static_cast<std::size_t>(written);
        }
        return true;
    }

    // Closes the descriptor now, so that a caller sees what close(2) reports (a write the file system could
    // not finish, say): false then. The owner holds none afterwards; true when it held none.
    bool Close()
    {
        if (fd_ < 0) {
            return true;
        }
        return ::close(std::exchange(fd_, -1)) == 0;
    }

private:
    int fd_ = -1;
};

}  // namespace tarnix::io
