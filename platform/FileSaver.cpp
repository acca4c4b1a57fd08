#include "platform/FileSaver.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tarnix::platform {

namespace {

// The kernel's own limit on symbolic links in one path.
constexpr int maximumLinkHops = 40;
constexpr int maximumNameAttempts = 100;
constexpr mode_t newFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
constexpr mode_t privateMode = S_IRUSR | S_IWUSR;
constexpr mode_t permissionBits = 07777;

enum class Outcome { Saved, FolderRefused, Failed };

// The file that a path finally names: symbolic links are followed, also to a target that does not exist.
std::optional<fs::path> ResolveLinks(const std::string& path)
{
    fs::path current(path);
    for (int hop = 0; hop < maximumLinkHops; ++hop) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return current;
        }
        std::error_code error;
        const fs::path target = fs::read_symlink(current, error);
        if (error) {
            return std::nullopt;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return std::nullopt;
}

bool WriteAll(int descriptor, const char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(descriptor, data, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Writes the bytes, flushes them to disk when asked and closes the descriptor in every case.
bool WriteAndClose(int descriptor, const char* data, std::size_t length, bool sync)
{
    const bool written = WriteAll(descriptor, data, length) && (!sync || ::fsync(descriptor) == 0);
    const bool closed = ::close(descriptor) == 0;
    return written && closed;
}

// Gives the new file the earlier one's owner and group as far as this user may, then its permission bits
// (after the owner, since a change of owner clears the set-user-ID bit).
bool TakeOverAttributes(int descriptor, const struct stat& earlier)
{
    if (::fchown(descriptor, earlier.st_uid, earlier.st_gid) != 0) {
        static_cast<void>(::fchown(descriptor, static_cast<uid_t>(-1), earlier.st_gid));
    }
    return ::fchmod(descriptor, earlier.st_mode & permissionBits) == 0;
}

// Makes the rename itself durable; a folder that cannot be flushed does not undo the save.
void SyncFolder(const fs::path& folder)
{
    const int descriptor = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        static_cast<void>(::fsync(descriptor));
        ::close(descriptor);
    }
}

// A new file beside the target under a name of its own; the descriptor is negative (errno set) when the
// folder allows none.
int CreateTemporary(const fs::path& target, mode_t mode, fs::path& temporary)
{
    static std::atomic<unsigned int> counter{0};
    for (int attempt = 0; attempt < maximumNameAttempts; ++attempt) {
        const std::string name = ".tarnix-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        temporary = target.parent_path() / name;
        const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
    return -1;
}

// Temporary file, flush, rename. `earlier` is the file being replaced, or null for a new file.
Outcome ReplaceThroughTemporary(const fs::path& target, const char* data, std::size_t length,
                                const struct stat* earlier)
{
    fs::path temporary;
    const int descriptor = CreateTemporary(target, earlier != nullptr ? privateMode : newFileMode, temporary);
    if (descriptor < 0) {
        return (errno == EACCES || errno == EPERM) ? Outcome::FolderRefused : Outcome::Failed;
    }
    const bool attributes = earlier == nullptr || TakeOverAttributes(descriptor, *earlier);
    const bool written = WriteAndClose(descriptor, data, length, true);
    if (!attributes || !written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return Outcome::Failed;
    }
    SyncFolder(target.parent_path());
    return Outcome::Saved;
}

bool WriteInPlace(const fs::path& target, const char* data, std::size_t length, bool sync)
{
    const int descriptor = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return descriptor >= 0 && WriteAndClose(descriptor, data, length, sync);
}

bool ReplaceExisting(const fs::path& target, const char* data, std::size_t length, const struct stat& earlier)
{
    if (S_ISDIR(earlier.st_mode) || ::access(target.c_str(), W_OK) != 0) {
        return false;
    }
    if (!S_ISREG(earlier.st_mode)) {
        return WriteInPlace(target, data, length, false);
    }
    switch (ReplaceThroughTemporary(target, data, length, &earlier)) {
        case Outcome::Saved:
            return true;
        case Outcome::FolderRefused:
            // The file may be written but no file may be made beside it: writing it directly is the only way.
            return WriteInPlace(target, data, length, true);
        case Outcome::Failed:
            break;
    }
    return false;
}

}  // namespace

bool FileSaver::Save(const std::string& path, const char* data, std::size_t length)
{
    if (data == nullptr && length > 0) {
        return false;
    }
    const std::optional<fs::path> target = ResolveLinks(path);
    if (!target || target->empty()) {
        return false;
    }
    struct stat earlier {};
    if (::stat(target->c_str(), &earlier) == 0) {
        return ReplaceExisting(*target, data, length, earlier);
    }
    return errno == ENOENT && ReplaceThroughTemporary(*target, data, length, nullptr) == Outcome::Saved;
}

}  // namespace tarnix::platform
