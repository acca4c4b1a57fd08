#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnix::dfuse {

// CRC-32 (polynomial 0x04C11DB7 reflected, initial value and final XOR 0xFFFFFFFF), as used by zip and
// Ethernet. The suffix of a DFU file stores this value's complement: the register without the final XOR.
class Crc32 {
public:
    static std::uint32_t Compute(const std::uint8_t* data, std::size_t size);
};

}  // namespace tarnix::dfuse
