#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The virtual sensor's flash: where it starts, its page size and the parameter page.
namespace sensor_flash {

constexpr std::uint32_t kStart = 0x08000000;
constexpr std::uint32_t kParameters = 0x08004000;
constexpr std::uint32_t kPage = 2048;

// Bytes that differ from seed to seed and are never 0xFF, so that no part of them looks erased.
inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<std::uint8_t>((seed + index * 31) % 0xFF);
    }
    return bytes;
}

}  // namespace sensor_flash
