#pragma once

#include <string>

#include "io/FileDescriptor.h"

namespace tarnix::sim {

// An exclusive lock on the whole bus folder (flock on its lock file), held for the lifetime of the object.
// Every change of a sensor's state or flash happens under it; readers need none because files are replaced
// atomically. The kernel drops the lock when a process dies.
class BusLock {
public:
    explicit BusLock(const std::string& folder);
    BusLock(const BusLock&) = delete;
    BusLock& operator=(const BusLock&) = delete;

    bool IsHeld() const { return lockFile_.IsValid(); }

private:
    io::FileDescriptor lockFile_;  // open while the lock is held
};

}  // namespace tarnix::sim
