#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnix::sim {

// Builds the BER elements of the sensor's information answers: one-byte tags, lengths in short form
// (below 0x80) or in the one-byte long form 0x81 LL (up to 255), big-endian integers, texts without a
// terminating NUL, raw octets.
class BerWriter {
public:
    static constexpr std::size_t kMaxLength = 255;

    void Integer16(std::uint8_t tag, std::uint16_t value);
    void Integer32(std::uint8_t tag, std::uint32_t value);
    void Text(std::uint8_t tag, const std::string& text);
    void Octets(std::uint8_t tag, const std::vector<std::uint8_t>& octets);
    void Raw(const std::vector<std::uint8_t>& bytes);
    // Everything written so far as the content of one constructed element with this tag.
    BerWriter Wrapped(std::uint8_t tag) const;

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    void Header(std::uint8_t tag, std::size_t length);

    std::vector<std::uint8_t> bytes_;
};

}  // namespace tarnix::sim
