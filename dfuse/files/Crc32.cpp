#include "dfuse/files/Crc32.h"

#include <array>

namespace tarnix::dfuse {

namespace {

std::array<std::uint32_t, 256> MakeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t index = 0; index < table.size(); ++index) {
        std::uint32_t value = index;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1u) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        table[index] = value;
    }
    return table;
}

}  // namespace

std::uint32_t Crc32::Compute(const std::uint8_t* data, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = MakeTable();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t index = 0; index < size; ++index) {
        crc = table[(crc ^ data[index]) & 0xFFu] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace tarnix::dfuse
