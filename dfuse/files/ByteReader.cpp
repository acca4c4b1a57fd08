#include "dfuse/files/ByteReader.h"

namespace tarnix::dfuse {

bool ByteReader::ReadU8(std::uint8_t& value)
{
    const std::uint8_t* bytes = nullptr;
    if (!ReadBytes(1, bytes)) {
        return false;
    }
    value = bytes[0];
    return true;
}

bool ByteReader::ReadU16(std::uint16_t& value)
{
    const std::uint8_t* bytes = nullptr;
    if (!ReadBytes(2, bytes)) {
        return false;
    }
    value = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
    return true;
}

bool ByteReader::ReadU32(std::uint32_t& value)
{
    const std::uint8_t* bytes = nullptr;
    if (!ReadBytes(4, bytes)) {
        return false;
    }
    value = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
            (std::uint32_t{bytes[3]} << 24);
    return true;
}

bool ByteReader::ReadBytes(std::size_t count, const std::uint8_t*& bytes)
{
    if (count > Remaining()) {
        return false;
    }
    bytes = data_ + position_;
    position_ += count;
    return true;
}

std::optional<ByteReader> ByteReader::Take(std::size_t count)
{
    const std::uint8_t* bytes = nullptr;
    if (!ReadBytes(count, bytes)) {
        return std::nullopt;
    }
    return ByteReader(bytes, count);
}

}  // namespace tarnix::dfuse
