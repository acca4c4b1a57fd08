#include "sim/images/Crc32.h"

#include <array>

namespace tarnix::sim {

namespace {

std::array<std::uint32_t, 256> MakeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        table[i] = value;
    }
    return table;
}

}  // namespace

std::uint32_t Crc32::DfuSuffix(const std::uint8_t* data, std::size_t length)
{
    static const std::array<std::uint32_t, 256> table = MakeTable();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return crc;
}

}  // namespace tarnix::sim
