#include "platform/linux/SysfsFile.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "io/FileDescriptor.h"

namespace tarnix::platform {

std::optional<std::vector<std::uint8_t>> SysfsFile::ReadBytes(const std::string& path, std::size_t limit)
{
    const io::FileDescriptor file = io::FileDescriptor::Open(path.c_str(), O_RDONLY);
    if (!file.IsValid()) {
        return std::nullopt;
    }
    // One byte more than the limit tells an attribute that is too long from one that just fits.
    std::vector<std::uint8_t> bytes(limit + 1);
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = ::read(file.Get(), bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    if (filled > limit) {
        return std::nullopt;
    }
    bytes.resize(filled);
    return bytes;
}

std::optional<std::string> SysfsFile::ReadText(const std::string& path, std::size_t limit)
{
    const auto bytes = ReadBytes(path, limit);
    if (!bytes) {
        return std::nullopt;
    }
    std::string text(bytes->begin(), bytes->end());
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

bool SysfsFile::Exists(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

std::vector<std::string> SysfsFile::FolderEntries(const std::string& path)
{
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(path.c_str()), ::closedir);
    if (!folder) {
        return names;
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    return names;
}

std::optional<std::string> SysfsFile::LinkDestination(const std::string& path)
{
    char target[4096];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) {
        return std::nullopt;
    }
    const std::string relative(target, static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    const std::string joined =
        relative.front() == '/' || slash == std::string::npos ? relative : path.substr(0, slash + 1) + relative;
    std::vector<std::string> parts;
    std::istringstream names(joined);
    for (std::string name; std::getline(names, name, '/');) {
        if (name == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!name.empty() && name != ".") {
            parts.push_back(name);
        }
    }
    std::string destination;
    for (const std::string& name : parts) {
        destination += "/" + name;
    }
    return destination.empty() ? "/" : destination;
}

}  // namespace tarnix::platform
