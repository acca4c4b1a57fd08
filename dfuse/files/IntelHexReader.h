#pragma once

#include "dfuse/common/ImageElement.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tarnix::dfuse {

// Reads Intel hex text: data (00), end of file (01), extended segment address (02), start segment address
// (03, ignored), extended linear address (04) and start linear address (05, ignored) records, every
// checksum checked. The data becomes one element per contiguous run of addresses, sorted by address.
class IntelHexReader {
public:
    // DFUSE_STATUS_SUCCESS or the failure code of the first defect found.
    std::uint32_t Parse(const std::vector<std::uint8_t>& text);
    std::vector<ImageElement> TakeElements() { return std::move(runs_); }

private:
    std::uint32_t ParseLine(std::string_view line);
    static std::uint32_t DecodeRecord(std::string_view line, std::vector<std::uint8_t>& record);
    std::uint32_t ApplyRecord(const std::vector<std::uint8_t>& record);
    std::uint32_t AddData(std::uint16_t offset, const std::uint8_t* data, std::size_t size);
    std::uint32_t MergeRuns();

    std::uint32_t base_ = 0;
    bool ended_ = false;
    std::vector<ImageElement> runs_;
};

}  // namespace tarnix::dfuse
