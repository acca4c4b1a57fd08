#include "sim/bus/BusLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace tarnix::sim {

BusLock::BusLock(const std::string& folder)
    : lockFile_(io::FileDescriptor::Open((folder + "/bus.lock").c_str(), O_RDWR | O_CREAT, 0600))
{
    if (!lockFile_.IsValid()) {
        return;
    }
    int result = 0;
    do {
        result = ::flock(lockFile_.Get(), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        lockFile_ = io::FileDescriptor();
    }
}

}  // namespace tarnix::sim
