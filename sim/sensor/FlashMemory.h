#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnix::sim {

// The sensor's internal flash: kFlashSize bytes from kFlashBase in pages of kFlashPageSize. Erased bytes
// read 0xFF; programming can only clear bits, so data can be programmed only where the flash holds 0xFF
// or bits that the data keeps set (a page must be erased before it is programmed again).
class FlashMemory {
public:
    // Fully erased flash.
    FlashMemory();
    // Flash with the given content; false from IsValid() when the size is not kFlashSize.
    explicit FlashMemory(std::vector<std::uint8_t> bytes);

    bool IsValid() const;
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

    // True when [address, address + length) lies inside the flash (length 0: address inside).
    static bool Contains(std::uint32_t address, std::size_t length);
    // Number of pages that [address, address + length) touches; 0 for length 0.
    static unsigned PagesTouched(std::uint32_t address, std::size_t length);

    // Erases the page that holds the address; false when the address is outside the flash.
    bool ErasePage(std::uint32_t address);
    void EraseAll();
    // True when every byte can be programmed without turning a 0 bit into 1.
    bool CanProgram(std::uint32_t address, const std::uint8_t* data, std::size_t length) const;
    // Programs (bitwise AND) the bytes; false when the range is outside the flash.
    bool Program(std::uint32_t address, const std::uint8_t* data, std::size_t length);
    // Replaces the bytes unconditionally (a debugger's write); false when the range is outside.
    bool Overwrite(std::uint32_t address, const std::uint8_t* data, std::size_t length);
    // Copies bytes out; false when the range is outside.
    bool Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const;

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tarnix::sim
