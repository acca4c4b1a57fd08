#pragma once

#include <string>

namespace tarnix::platform {

// A system-wide named mutex with create-or-open semantics. Every holder, in any process, is a lock on one
// file derived from the name; the kernel drops the lock when the holding process ends, so a crashed holder
// never blocks the next one.
class NamedMutex {
public:
    explicit NamedMutex(const std::string& name);
    ~NamedMutex();

    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // True when another holder (another process, or another NamedMutex object of this process) had the
    // mutex when this one was made; false when this object is its first holder.
    bool AlreadyExisted() const;

    // The file that stands for a mutex of this name.
    static std::string LockFilePath(const std::string& name);

private:
    int descriptor = -1;
    bool alreadyExisted = false;
};

}  // namespace tarnix::platform
