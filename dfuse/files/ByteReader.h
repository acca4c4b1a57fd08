#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarnix::dfuse {

// Reads little-endian values from a byte buffer. Every read checks the remaining length first and fails
// without moving when the buffer is too short, so a parser built on it never reads past the end.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Remaining() const { return size_ - position_; }
    bool AtEnd() const { return position_ == size_; }

    bool ReadU8(std::uint8_t& value);
    bool ReadU16(std::uint16_t& value);
    bool ReadU32(std::uint32_t& value);
    // Points `bytes` at the next `count` bytes of the buffer and moves past them.
    bool ReadBytes(std::size_t count, const std::uint8_t*& bytes);
    // A reader over the next `count` bytes; this reader moves past them.
    std::optional<ByteReader> Take(std::size_t count);

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace tarnix::dfuse
