#pragma once

#include "dfuse/DfuseApi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnix::dfuse {

// The memory layout string of a DfuSe alternate setting, for example
// "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg/0x1FFF0000/01*030Ke": a name after '@', then for
// each memory block its start address and its sector groups, each a count, '*', a size with the unit ' ',
// 'B', 'K' or 'M', and an access letter 'a' to 'g' (bit 0 readable, bit 1 erasable, bit 2 writeable, plus 1).
class MemoryLayout {
public:
    static constexpr std::size_t kMaximumSectors = 65536;

    // DFUSE_STATUS_SUCCESS, or DFUSE_ERROR_BAD_LAYOUT for anything that does not follow the format, for
    // sectors that overlap or reach past 4 GiB, and for more than kMaximumSectors sectors.
    std::uint32_t Parse(std::string_view text);

    const std::string& Name() const { return name_; }
    const std::vector<MAPPINGSECTOR>& Sectors() const { return sectors_; }

private:
    std::uint32_t ParseBlock(std::string_view address, std::string_view groups);
    std::uint32_t ParseGroup(std::string_view group, std::uint64_t& address);

    std::string name_;
    std::vector<MAPPINGSECTOR> sectors_;
};

}  // namespace tarnix::dfuse
