#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sensor/Version.h"

namespace tarnix::sim {

// A contiguous run of image bytes at a flash address.
struct DataRun {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

// A synthetic firmware image from the start of flash: a vector table, code-like filler bytes, the firmware
// header at kFirmwareHeaderOffset, and a parameter page that is either left erased (a gap in the image) or
// filled with given parameter bytes (padded with 0xFF to the page).
class FirmwareImage {
public:
    static constexpr std::uint32_t kDefaultSize = 0x6000;
    static constexpr std::uint32_t kMinimumSize = 0x20E;      // up to the end of the firmware header
    static constexpr std::uint32_t kEntryPoint = 0x08000211;  // reset handler named by the vector table

    // Throws std::invalid_argument when the size is below kMinimumSize or above the flash, when parameters are
    // given but the image does not cover the parameter page, or when they are larger than the page.
    FirmwareImage(Version firmware, std::optional<Version> schema, std::uint32_t size,
                  std::optional<std::vector<std::uint8_t>> parameters);

    // Every byte from the start of flash to the size (an erased parameter page reads 0xFF).
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    // The contiguous runs of the image: one, or two around an erased parameter page.
    std::vector<DataRun> Runs() const;

private:
    std::vector<std::uint8_t> bytes_;
    bool parameterGap_ = false;
};

}  // namespace tarnix::sim
