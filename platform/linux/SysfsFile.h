#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnix::platform {

// Reads sysfs: attributes as files, bounded (an attribute longer than the limit counts as unreadable), and
// the folders and links that list its devices.
class SysfsFile {
public:
    static std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path, std::size_t limit);
    // A text attribute without the newline the kernel ends it with.
    static std::optional<std::string> ReadText(const std::string& path, std::size_t limit);
    // Whether the path names an existing file or folder.
    static bool Exists(const std::string& path);
    // The names in a folder, without "." and ".."; none when the folder cannot be read.
    static std::vector<std::string> FolderEntries(const std::string& path);
    // Where a symbolic link leads: a relative target is resolved against the link's folder by its names
    // alone, as sysfs links lead between real folders. Nothing when the path is no link.
    static std::optional<std::string> LinkDestination(const std::string& path);
};

}  // namespace tarnix::platform
