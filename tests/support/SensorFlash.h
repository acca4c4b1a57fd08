#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The virtual sensor's flash: where it starts, its page size and the parameter page, and the DfuSe
// commands that address it.
namespace tarnix::test::sensor_flash {

constexpr std::uint32_t kStart = 0x08000000;
constexpr std::uint32_t kParameters = 0x08004000;
constexpr std::uint32_t kPage = 2048;

// Bytes that differ from seed to seed and are never 0xFF, so that no part of them looks erased.
inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<std::uint8_t>((seed + index * 31) % 0xFF);
    }
    return bytes;
}

// A DfuSe block-0 command with a 32-bit little-endian address (0x21 set address pointer, 0x41 erase page).
inline std::vector<std::uint8_t> DfuCommand(std::uint8_t command, std::uint32_t address)
{
    return {command, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
}

}  // namespace tarnix::test::sensor_flash
