#pragma once

#include <cstdint>
#include <vector>

namespace tarnix::dfuse {

// Reads a whole file into memory, refusing files larger than any firmware image could be.
class FileContents {
public:
    static constexpr std::uint64_t kMaximumSize = 64u * 1024u * 1024u;

    // DFUSE_STATUS_SUCCESS, or DFUSE_ERROR_FILE_OPEN when the file cannot be read or is too large.
    static std::uint32_t Read(const char* path, std::vector<std::uint8_t>& bytes);
};

}  // namespace tarnix::dfuse
