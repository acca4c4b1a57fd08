#pragma once

#include "dfuse/DfuseApi.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tarnix::dfuse {

// The sectors of a memory map sorted by address, for finding the sector that holds an address.
class SectorMap {
public:
    // Nothing when the sectors are empty, have size zero, overlap or reach past 4 GiB.
    static std::optional<SectorMap> FromSectors(std::vector<MAPPINGSECTOR> sectors);
    static std::optional<SectorMap> FromMapping(const MAPPING& mapping);

    // The sector that holds the address, if any.
    std::optional<MAPPINGSECTOR> Find(std::uint32_t address) const;

    static std::uint64_t EndOf(const MAPPINGSECTOR& sector);

private:
    explicit SectorMap(std::vector<MAPPINGSECTOR> sectors) : sectors_(std::move(sectors)) {}

    std::vector<MAPPINGSECTOR> sectors_;
};

}  // namespace tarnix::dfuse
