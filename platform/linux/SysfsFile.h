#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnix::platform {

// Reads sysfs attributes as files, bounded: an attribute longer than the limit counts as unreadable.
class SysfsFile {
public:
    static std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path, std::size_t limit);
    // A text attribute without the newline the kernel ends it with.
    static std::optional<std::string> ReadText(const std::string& path, std::size_t limit);
    // Whether the path names an existing file or folder.
    static bool Exists(const std::string& path);
};

}  // namespace tarnix::platform
