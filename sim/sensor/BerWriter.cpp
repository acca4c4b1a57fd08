#include "sim/sensor/BerWriter.h"

#include <algorithm>

namespace tarnix::sim {

void BerWriter::Integer16(std::uint8_t tag, std::uint16_t value)
{
    Header(tag, 2);
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void BerWriter::Integer32(std::uint8_t tag, std::uint32_t value)
{
    Header(tag, 4);
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void BerWriter::Text(std::uint8_t tag, const std::string& text)
{
    const std::size_t length = std::min(text.size(), kMaxLength);
    Header(tag, length);
    bytes_.insert(bytes_.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

void BerWriter::Octets(std::uint8_t tag, const std::vector<std::uint8_t>& octets)
{
    const std::size_t length = std::min(octets.size(), kMaxLength);
    Header(tag, length);
    bytes_.insert(bytes_.end(), octets.begin(), octets.begin() + static_cast<std::ptrdiff_t>(length));
}

void BerWriter::Raw(const std::vector<std::uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

BerWriter BerWriter::Wrapped(std::uint8_t tag) const
{
    BerWriter outer;
    const std::size_t length = std::min(bytes_.size(), kMaxLength);
    outer.Header(tag, length);
    outer.bytes_.insert(outer.bytes_.end(), bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(length));
    return outer;
}

void BerWriter::Header(std::uint8_t tag, std::size_t length)
{
    bytes_.push_back(tag);
    if (length >= 0x80) {
        bytes_.push_back(0x81);
    }
    bytes_.push_back(static_cast<std::uint8_t>(length));
}

}  // namespace tarnix::sim
