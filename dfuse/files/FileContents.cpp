#include "dfuse/files/FileContents.h"

#include "dfuse/DfuseApi.h"

#include <fstream>
#include <iterator>

namespace tarnix::dfuse {

std::uint32_t FileContents::Read(const char* path, std::vector<std::uint8_t>& bytes)
{
    if (path == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return DFUSE_ERROR_FILE_OPEN;
    }
    const std::streamoff size = file.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaximumSize) {
        return DFUSE_ERROR_FILE_OPEN;
    }
    bytes.resize(static_cast<std::size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) {
        return DFUSE_ERROR_FILE_OPEN;
    }
    return DFUSE_STATUS_SUCCESS;
}

}  // namespace tarnix::dfuse
