#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Builds Intel hex text record by record, with correct checksums unless told otherwise.
class HexText {
public:
    HexText& Record(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& payload,
                    int checksumError = 0)
    {
        std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(payload.size()),
                                           static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset),
                                           type};
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        unsigned sum = 0;
        for (const std::uint8_t byte : bytes) {
            sum += byte;
        }
        bytes.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF) + checksumError));
        text_ += ':';
        for (const std::uint8_t byte : bytes) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02X", byte);
            text_ += digits;
        }
        text_ += lineEnd_;
        return *this;
    }

    HexText& Data(std::uint16_t offset, const std::vector<std::uint8_t>& bytes) { return Record(0x00, offset, bytes); }
    HexText& LinearBase(std::uint16_t upper) { return Record(0x04, 0, {Byte(upper >> 8), Byte(upper)}); }
    HexText& SegmentBase(std::uint16_t segment) { return Record(0x02, 0, {Byte(segment >> 8), Byte(segment)}); }
    HexText& End() { return Record(0x01, 0, {}); }
    HexText& Raw(const std::string& line)
    {
        text_ += line + lineEnd_;
        return *this;
    }
    HexText& LineEnd(const std::string& ending)
    {
        lineEnd_ = ending;
        return *this;
    }

    // Writes `bytes` from `address` in records of up to 16 bytes, with linear base records as needed.
    HexText& Block(std::uint32_t address, const std::vector<std::uint8_t>& bytes)
    {
        for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
            const std::uint32_t at = address + static_cast<std::uint32_t>(offset);
            if (offset == 0 || (at & 0xFFFF) < 16) {
                LinearBase(static_cast<std::uint16_t>(at >> 16));
            }
            const std::size_t length = std::min<std::size_t>(16, bytes.size() - offset);
            Data(static_cast<std::uint16_t>(at),
                 std::vector<std::uint8_t>(bytes.begin() + offset, bytes.begin() + offset + length));
        }
        return *this;
    }

    const std::string& Text() const { return text_; }

private:
    static std::uint8_t Byte(unsigned value) { return static_cast<std::uint8_t>(value & 0xFF); }

    std::string text_;
    std::string lineEnd_ = "\n";
};
