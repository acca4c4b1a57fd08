#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnix::sim {

// The CRC of a DFU file suffix: CRC-32 (reflected polynomial 0xEDB88320, start value 0xFFFFFFFF) without
// the final inversion.
class Crc32 {
public:
    static std::uint32_t DfuSuffix(const std::uint8_t* data, std::size_t length);
};

}  // namespace tarnix::sim
