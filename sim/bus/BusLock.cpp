#include "sim/bus/BusLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnix::sim {

BusLock::BusLock(const std::string& folder)
{
    const std::string path = folder + "/bus.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        return;
    }
    int result = 0;
    do {
        result = ::flock(fd_, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

BusLock::~BusLock()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace tarnix::sim
