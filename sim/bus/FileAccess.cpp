#include "sim/bus/FileAccess.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/FileDescriptor.h"

namespace tarnix::sim {

namespace {

// Reads at most `limit` bytes; nothing when the file cannot be read or is larger.
template <typename Buffer>
std::optional<Buffer> ReadWhole(const std::string& path, std::size_t limit)
{
    const io::FileDescriptor file = io::FileDescriptor::Open(path.c_str(), O_RDONLY);
    if (!file.IsValid()) {
        return std::nullopt;
    }
    Buffer buffer;
    struct stat info {};
    if (::fstat(file.Get(), &info) == 0 && info.st_size > 0 && static_cast<std::size_t>(info.st_size) <= limit) {
        buffer.reserve(static_cast<std::size_t>(info.st_size));
    }
    char chunk[16384];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (buffer.size() + static_cast<std::size_t>(got) > limit) {
            ok = false;
            break;
        }
        buffer.insert(buffer.end(), chunk, chunk + got);
    }
    return ok ? std::optional<Buffer>(std::move(buffer)) : std::nullopt;
}

constexpr std::size_t kReadLimit = 64 * 1024 * 1024;

}  // namespace

std::optional<std::string> FileAccess::ReadText(const std::string& path)
{
    return ReadWhole<std::string>(path, kReadLimit);
}

std::optional<std::vector<std::uint8_t>> FileAccess::ReadBytes(const std::string& path)
{
    return ReadWhole<std::vector<std::uint8_t>>(path, kReadLimit);
}

bool FileAccess::ReplaceAtomically(const std::string& path, const void* data, std::size_t length,
                                   std::optional<std::int64_t> modifiedNs)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "/." + name + ".XXXXXX";
    io::FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file.IsValid()) {
        return false;
    }
    bool written = ::fchmod(file.Get(), 0600) == 0 && file.WriteAll(data, length);
    if (written && modifiedNs) {
        const timespec stamp{static_cast<time_t>(*modifiedNs / 1000000000),
                             static_cast<long>(*modifiedNs % 1000000000)};
        const timespec times[2] = {stamp, stamp};
        written = ::futimens(file.Get(), times) == 0;
    }
    const bool closed = file.Close();
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool FileAccess::ReplaceAtomically(const std::string& path, const std::string& text)
{
    return ReplaceAtomically(path, text.data(), text.size());
}

bool FileAccess::ReplaceAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    return ReplaceAtomically(path, bytes.data(), bytes.size());
}

bool FileAccess::Remove(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

std::optional<std::int64_t> FileAccess::ModifiedNs(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

bool FileAccess::EnsureDirectory(const std::string& path)
{
    if (path.empty()) {
        return false;
    }
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace tarnix::sim
