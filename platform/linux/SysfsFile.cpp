#include "platform/linux/SysfsFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/FileDescriptor.h"

namespace tarnix::platform {

std::optional<std::vector<std::uint8_t>> SysfsFile::ReadBytes(const std::string& path, std::size_t limit) {
    const FileDescriptor file = FileDescriptor::Open(path.c_str(), O_RDONLY);
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

std::optional<std::string> SysfsFile::ReadText(const std::string& path, std::size_t limit) {
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

bool SysfsFile::Exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

}  // namespace tarnix::platform
