#include "sim/sensor/TextNumbers.h"

#include <cstdio>

namespace tarnix::sim {

namespace {

int DigitValue(char c, unsigned base)
{
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

std::optional<std::uint64_t> ParseInBase(std::string_view digits, unsigned base, std::uint64_t limit)
{
    if (digits.empty() || digits.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        const int digit = DigitValue(c, base);
        if (digit < 0) {
            return std::nullopt;
        }
        if (value > (limit - static_cast<std::uint64_t>(digit)) / base) {
            return std::nullopt;
        }
        value = value * base + static_cast<std::uint64_t>(digit);
    }
    return value;
}

}  // namespace

std::optional<std::uint64_t> TextNumbers::ParseDecimal(std::string_view text, std::uint64_t limit)
{
    return ParseInBase(text, 10, limit);
}

std::optional<std::uint64_t> TextNumbers::ParseUnsigned(std::string_view text, std::uint64_t limit)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseInBase(text.substr(2), 16, limit);
    }
    return ParseInBase(text, 10, limit);
}

std::optional<std::int64_t> TextNumbers::ParseSigned(std::string_view text)
{
    const bool negative = !text.empty() && text[0] == '-';
    const auto magnitude = ParseInBase(negative ? text.substr(1) : text, 10, INT64_MAX);
    if (!magnitude) {
        return std::nullopt;
    }
    return negative ? -static_cast<std::int64_t>(*magnitude) : static_cast<std::int64_t>(*magnitude);
}

std::optional<std::vector<std::uint8_t>> TextNumbers::ParseHexBytes(std::string_view text)
{
    if (text.empty() || text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = DigitValue(text[i], 16);
        const int low = DigitValue(text[i + 1], 16);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::string TextNumbers::HexBytes(const std::vector<std::uint8_t>& bytes)
{
    static const char* const kDigits = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

std::string TextNumbers::Hex32(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace tarnix::sim
