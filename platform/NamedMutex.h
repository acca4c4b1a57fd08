#pragma once

#include <string>

namespace tarnix::platform {

// A system-wide named mutex with create-or-open semantics. A holder is a Unix socket bound to an abstract
// address derived from the name: the kernel refuses a second binding while the first socket is open, and
// frees the address when its holder closes it or dies, however it dies. No file stands for the mutex, so
// nothing is left behind and no file permission of one user can lock out another.
//
// $TARNIX_MUTEX_PREFIX, when set, is put before the name, so that test runs neither meet each other nor a
// running program.
class NamedMutex {
public:
    explicit NamedMutex(const std::string& name);
    ~NamedMutex();

    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // True when a live holder (another process, or another NamedMutex object of this process) had the
    // mutex when this one was made. False when this object holds it, and also when the mutex could not be
    // taken for any other reason: only a live holder makes a mutex "already existing".
    bool AlreadyExisted() const;

private:
    int descriptor = -1;
    bool alreadyExisted = false;
};

}  // namespace tarnix::platform
