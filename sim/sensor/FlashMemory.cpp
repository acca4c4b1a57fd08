#include "sim/sensor/FlashMemory.h"

#include <algorithm>
#include <cstring>

#include "sim/sensor/BusConstants.h"

namespace tarnix::sim {

namespace {
constexpr std::uint8_t kErased = 0xFF;
}  // namespace

FlashMemory::FlashMemory() : bytes_(kFlashSize, kErased) {}

FlashMemory::FlashMemory(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

bool FlashMemory::IsValid() const { return bytes_.size() == kFlashSize; }

bool FlashMemory::Contains(std::uint32_t address, std::size_t length)
{
    if (address < kFlashBase) {
        return false;
    }
    const std::uint64_t offset = address - kFlashBase;
    if (length == 0) {
        return offset < kFlashSize;
    }
    return offset + length <= kFlashSize;
}

unsigned FlashMemory::PagesTouched(std::uint32_t address, std::size_t length)
{
    if (length == 0) {
        return 0;
    }
    const std::uint64_t first = address / kFlashPageSize;
    const std::uint64_t last = (static_cast<std::uint64_t>(address) + length - 1) / kFlashPageSize;
    return static_cast<unsigned>(last - first + 1);
}

bool FlashMemory::ErasePage(std::uint32_t address)
{
    if (!IsValid() || !Contains(address, 1)) {
        return false;
    }
    const std::uint32_t pageStart = (address - kFlashBase) / kFlashPageSize * kFlashPageSize;
    std::fill_n(bytes_.begin() + pageStart, kFlashPageSize, kErased);
    return true;
}

void FlashMemory::EraseAll() { bytes_.assign(kFlashSize, kErased); }

bool FlashMemory::CanProgram(std::uint32_t address, const std::uint8_t* data, std::size_t length) const
{
    if (!IsValid() || !Contains(address, length)) {
        return false;
    }
    const std::uint8_t* target = bytes_.data() + (address - kFlashBase);
    for (std::size_t i = 0; i < length; ++i) {
        if ((target[i] & data[i]) != data[i]) {
            return false;
        }
    }
    return true;
}

bool FlashMemory::Program(std::uint32_t address, const std::uint8_t* data, std::size_t length)
{
    if (!IsValid() || !Contains(address, length)) {
        return false;
    }
    std::uint8_t* target = bytes_.data() + (address - kFlashBase);
    for (std::size_t i = 0; i < length; ++i) {
        target[i] &= data[i];
    }
    return true;
}

bool FlashMemory::Overwrite(std::uint32_t address, const std::uint8_t* data, std::size_t length)
{
    if (!IsValid() || !Contains(address, length)) {
        return false;
    }
    if (length > 0) {
        std::memcpy(bytes_.data() + (address - kFlashBase), data, length);
    }
    return true;
}

bool FlashMemory::Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const
{
    if (!IsValid() || !Contains(address, length)) {
        return false;
    }
    if (length > 0) {
        std::memcpy(out, bytes_.data() + (address - kFlashBase), length);
    }
    return true;
}

}  // namespace tarnix::sim
