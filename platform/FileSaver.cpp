#include "platform/FileSaver.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/FileDescriptor.h"

namespace fs = std::filesystem;

namespace tarnix::platform {

namespace {

// The kernel's own limit on symbolic links in one path.
constexpr int maximumLinkHops = 40;
constexpr int maximumNameAttempts = 100;
constexpr mode_t newFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
constexpr mode_t privateMode = S_IRUSR | S_IWUSR;
constexpr mode_t permissionBits = 07777;

enum class Outcome { Saved, FolderRefused, GroupRefused, Failed };

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

// Writes the bytes, flushes them to disk when asked and closes the file in every case.
bool WriteAndClose(io::FileDescriptor file, const char* data, std::size_t length, bool sync)
{
    const bool written = file.WriteAll(data, length) && (!sync || ::fsync(file.Get()) == 0);
    const bool closed = file.Close();
    return written && closed;
}

// Gives the new file the earlier one's owner and group as far as this user may, then its permission bits
// (after the owner, since a change of owner clears the set-user-ID bit). GroupRefused when the new file
// cannot have even the earlier one's group: the earlier group's permissions would go to another group.
Outcome TakeOverAttributes(const io::FileDescriptor& file, const struct stat& earlier)
{
    if (::fchown(file.Get(), earlier.st_uid, earlier.st_gid) != 0 &&
        ::fchown(file.Get(), static_cast<uid_t>(-1), earlier.st_gid) != 0) {
        return Outcome::GroupRefused;
    }
    return ::fchmod(file.Get(), earlier.st_mode & permissionBits) == 0 ? Outcome::Saved : Outcome::Failed;
}

// Makes the rename itself durable; a folder that cannot be flushed does not undo the save.
void SyncFolder(const fs::path& folder)
{
    const io::FileDescriptor handle =
        io::FileDescriptor::Open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (handle.IsValid()) {
        static_cast<void>(::fsync(handle.Get()));
    }
}

// A new file beside the target under a name of its own; an invalid descriptor (errno set) when the folder
// allows none.
io::FileDescriptor CreateTemporary(const fs::path& target, mode_t mode, fs::path& temporary)
{
    static std::atomic<unsigned int> counter{0};
    for (int attempt = 0; attempt < maximumNameAttempts; ++attempt) {
        const std::string name = ".tarnix-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        temporary = target.parent_path() / name;
        io::FileDescriptor file = io::FileDescriptor::Open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
        if (file.IsValid() || errno != EEXIST) {
            return file;
        }
    }
    return io::FileDescriptor();
}

// Temporary file, flush, rename. `earlier` is the file being replaced, or null for a new file.
Outcome ReplaceThroughTemporary(const fs::path& target, const char* data, std::size_t length,
                                const struct stat* earlier)
{
    fs::path temporary;
    io::FileDescriptor file = CreateTemporary(target, earlier != nullptr ? privateMode : newFileMode, temporary);
    if (!file.IsValid()) {
        return (errno == EACCES || errno == EPERM) ? Outcome::FolderRefused : Outcome::Failed;
    }
    const Outcome attributes = earlier == nullptr ? Outcome::Saved : TakeOverAttributes(file, *earlier);
    if (attributes != Outcome::Saved || !WriteAndClose(std::move(file), data, length, true) ||
        ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return attributes == Outcome::Saved ? Outcome::Failed : attributes;
    }
    SyncFolder(target.parent_path());
    return Outcome::Saved;
}

bool WriteInPlace(const fs::path& target, const char* data, std::size_t length, bool sync)
{
    io::FileDescriptor file = io::FileDescriptor::Open(target.c_str(), O_WRONLY | O_TRUNC);
    return file.IsValid() && WriteAndClose(std::move(file), data, length, sync);
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
        case Outcome::GroupRefused:
            // The file may be written but no file may be made beside it, or none that keeps its group:
            // writing it directly is the only way.
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
