#include "platform/NamedMutex.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnix::platform {

namespace {

// Folder of the lock files. It is shared by every user of the machine, like a global mutex name;
// TARNIX_MUTEX_DIR moves it (for tests that must not meet a running program).
std::string LockFolder()
{
    const char* folder = std::getenv("TARNIX_MUTEX_DIR");
    return (folder != nullptr && *folder != '\0') ? folder : "/tmp";
}

// Keeps letters and digits, replaces everything else by '_' and adds a short hash of the original so
// that names which differ only in punctuation stay apart.
std::string FileNameFor(const std::string& name)
{
    std::string result = ".tarnix-mutex-";
    unsigned long hash = 5381;
    for (unsigned char c : name) {
        hash = hash * 33 + c;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        result += plain ? static_cast<char>(c) : '_';
    }
    return result + "-" + std::to_string(hash & 0xFFFFFFFFUL) + ".lock";
}

}  // namespace

std::string NamedMutex::LockFilePath(const std::string& name) { return LockFolder() + "/" + FileNameFor(name); }

NamedMutex::NamedMutex(const std::string& name)
{
    const std::string path = LockFilePath(name);
    const mode_t previous = ::umask(0);
    descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ::umask(previous);
    if (descriptor < 0) {
        // Without a lock file nobody can hold the mutex; another user's file we may not open counts as held.
        alreadyExisted = (errno == EACCES);
        return;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        alreadyExisted = true;
        ::close(descriptor);
        descriptor = -1;
    }
}

NamedMutex::~NamedMutex()
{
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

bool NamedMutex::AlreadyExisted() const { return alreadyExisted; }

}  // namespace tarnix::platform
