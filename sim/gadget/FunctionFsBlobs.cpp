#include "sim/gadget/FunctionFsBlobs.h"

#include <linux/usb/functionfs.h>

namespace tarnix::sim {

namespace {

constexpr std::uint16_t kUsEnglish = 0x0409;

void AppendLe32(std::vector<std::uint8_t>& bytes, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

constexpr std::size_t kLengthOffset = 4;

// The whole descriptors at the start of the set, and their number.
std::size_t CompleteDescriptors(const std::vector<std::uint8_t>& set, std::uint32_t& count)
{
    std::size_t at = 0;
    count = 0;
    while (at < set.size() && set[at] != 0 && set[at] <= set.size() - at) {
        at += set[at];
        ++count;
    }
    return at;
}

}  // namespace

std::vector<std::uint8_t> FunctionFsBlobs::Descriptors(const std::vector<std::uint8_t>& fullSpeed,
                                                       const std::vector<std::uint8_t>& highSpeed)
{
    std::uint32_t fullSpeedCount = 0;
    std::uint32_t highSpeedCount = 0;
    const std::size_t fullSpeedLength = CompleteDescriptors(fullSpeed, fullSpeedCount);
    const std::size_t highSpeedLength = CompleteDescriptors(highSpeed, highSpeedCount);
    std::vector<std::uint8_t> blob;
    AppendLe32(blob, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    AppendLe32(blob, 0);  // total length, filled in at the end
    AppendLe32(blob, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    AppendLe32(blob, fullSpeedCount);
    AppendLe32(blob, highSpeedCount);
    blob.insert(blob.end(), fullSpeed.begin(), fullSpeed.begin() + static_cast<std::ptrdiff_t>(fullSpeedLength));
    blob.insert(blob.end(), highSpeed.begin(), highSpeed.begin() + static_cast<std::ptrdiff_t>(highSpeedLength));
    PutLe32(blob, kLengthOffset, static_cast<std::uint32_t>(blob.size()));
    return blob;
}

std::vector<std::uint8_t> FunctionFsBlobs::Strings(const std::vector<std::string>& strings)
{
    std::vector<std::uint8_t> blob;
    AppendLe32(blob, FUNCTIONFS_STRINGS_MAGIC);
    AppendLe32(blob, 0);  // total length, filled in at the end
    AppendLe32(blob, static_cast<std::uint32_t>(strings.size()));
    AppendLe32(blob, strings.empty() ? 0 : 1);  // languages
    if (!strings.empty()) {
        blob.push_back(static_cast<std::uint8_t>(kUsEnglish & 0xFF));
        blob.push_back(static_cast<std::uint8_t>(kUsEnglish >> 8));
        for (const std::string& text : strings) {
            blob.insert(blob.end(), text.begin(), text.end());
            blob.push_back(0);
        }
    }
    PutLe32(blob, kLengthOffset, static_cast<std::uint32_t>(blob.size()));
    return blob;
}

}  // namespace tarnix::sim
