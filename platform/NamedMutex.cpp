#include "platform/NamedMutex.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarnix::platform {

namespace {

// Abstract socket addresses live in the network namespace rather than in the file system: processes in
// another network namespace (a container or a sandbox with its own network) do not meet this mutex. That is
// accepted; one instance per machine means one per network namespace here.

// Room for the name after the leading zero byte of an abstract address.
constexpr std::size_t kAddressRoom = sizeof(sockaddr_un::sun_path) - 1;

// FNV-1a, fixed for all builds, so that every program derives the same address from a long name.
std::uint64_t StableHash(const std::string& text)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) {
        hash = (hash ^ c) * 0x100000001b3ULL;
    }
    return hash;
}

// "tarnix-mutex:" + $TARNIX_MUTEX_PREFIX + name. A text longer than the address keeps its beginning and
// ends in a hash of the whole text, so that long names which differ only at the end stay apart.
std::string AbstractNameFor(const std::string& name)
{
    const char* prefix = std::getenv("TARNIX_MUTEX_PREFIX");
    const std::string full = "tarnix-mutex:" + std::string(prefix != nullptr ? prefix : "") + name;
    if (full.size() <= kAddressRoom) {
        return full;
    }
    char hash[18];
    std::snprintf(hash, sizeof hash, "#%016llx", static_cast<unsigned long long>(StableHash(full)));
    return full.substr(0, kAddressRoom - std::strlen(hash)) + hash;
}

}  // namespace

NamedMutex::NamedMutex(const std::string& name)
{
    const std::string abstractName = AbstractNameFor(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, abstractName.data(), abstractName.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstractName.size());

    descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return;
    }
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        // Only a bound socket, which a live process holds open, makes the address busy; any other failure
        // lets the program run.
        alreadyExisted = (errno == EADDRINUSE);
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
