#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnix::sim {

// Strict parsing and printing of the numbers that appear in state files and on the tool's command line.
class TextNumbers {
public:
    // Decimal digits only, value at most `limit`.
    static std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t limit);
    // Decimal, or hexadecimal with a 0x / 0X prefix; value at most `limit`.
    static std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t limit);
    // A signed decimal number that fits 64 bits.
    static std::optional<std::int64_t> ParseSigned(std::string_view text);
    // An even number of hexadecimal digits as bytes ("001FA0" -> 00 1F A0); nothing for an empty text.
    static std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);
    // Uppercase hexadecimal digits, two per byte.
    static std::string HexBytes(const std::vector<std::uint8_t>& bytes);
    // "0x" and eight uppercase hexadecimal digits.
    static std::string Hex32(std::uint32_t value);
};

}  // namespace tarnix::sim
