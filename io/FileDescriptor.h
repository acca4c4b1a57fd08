#pragma once

#include <cerrno>
#include <fcntl.h>
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

    // open(2) with O_CLOEXEC added, again when a signal interrupts it; an invalid descriptor when it fails.
    static FileDescriptor Open(const char* path, int flags)
    {
        int fd = -1;
        do {
            fd = ::open(path, flags | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        return FileDescriptor(fd);
    }

    bool IsValid() const { return fd_ >= 0; }
    int Get() const { return fd_; }

private:
    void Close()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    int fd_ = -1;
};

}  // namespace tarnix::io
