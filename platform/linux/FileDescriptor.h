#pragma once

namespace tarnix::platform {

// Owns one open file descriptor and closes it at the end of its life.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // open(2) with O_CLOEXEC added; an invalid descriptor when it fails.
    static FileDescriptor Open(const char* path, int flags);

    bool IsValid() const { return fd_ >= 0; }
    int Get() const { return fd_; }

private:
    void Close();

    int fd_ = -1;
};

}  // namespace tarnix::platform
