#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnix::sim {

// Whole-file reads and atomic whole-file replacement (write a temporary file beside the target, then
// rename it over the target), so that a reader in another process sees either the old or the new file.
class FileAccess {
public:
    static std::optional<std::string> ReadText(const std::string& path);
    static std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path);
    // `modifiedNs`, when given, becomes the new file's modification time (nanoseconds since the epoch).
    static bool ReplaceAtomically(const std::string& path, const void* data, std::size_t length,
                                  std::optional<std::int64_t> modifiedNs = std::nullopt);
    static bool ReplaceAtomically(const std::string& path, const std::string& text);
    static bool ReplaceAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);
    static bool Remove(const std::string& path);
    // Modification time in nanoseconds since the epoch; nothing when the file does not exist.
    static std::optional<std::int64_t> ModifiedNs(const std::string& path);
    // Creates the folder and its missing parents (mode 0700 for new ones); true when it exists afterwards.
    static bool EnsureDirectory(const std::string& path);
};

}  // namespace tarnix::sim
