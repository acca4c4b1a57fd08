#include "dfuse/common/SectorMap.h"

#include <algorithm>

namespace tarnix::dfuse {

namespace {
constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;
}

std::optional<SectorMap> SectorMap::FromSectors(std::vector<MAPPINGSECTOR> sectors)
{
    if (sectors.empty()) {
        return std::nullopt;
    }
    std::sort(sectors.begin(), sectors.end(),
              [](const MAPPINGSECTOR& a, const MAPPINGSECTOR& b) { return a.dwStartAddress < b.dwStartAddress; });
    std::uint64_t previousEnd = 0;
    for (const MAPPINGSECTOR& sector : sectors) {
        if (sector.dwSectorSize == 0 || sector.dwStartAddress < previousEnd || EndOf(sector) > kAddressSpace) {
            return std::nullopt;
        }
        previousEnd = EndOf(sector);
    }
    return SectorMap(std::move(sectors));
}

std::optional<SectorMap> SectorMap::FromMapping(const MAPPING& mapping)
{
    if (mapping.pSectors == nullptr || mapping.NbSectors == 0) {
        return std::nullopt;
    }
    return FromSectors(std::vector<MAPPINGSECTOR>(mapping.pSectors, mapping.pSectors + mapping.NbSectors));
}

std::optional<MAPPINGSECTOR> SectorMap::Find(std::uint32_t address) const
{
    auto after = std::upper_bound(
        sectors_.begin(), sectors_.end(), address,
        [](std::uint32_t value, const MAPPINGSECTOR& sector) { return value < sector.dwStartAddress; });
    if (after == sectors_.begin()) {
        return std::nullopt;
    }
    const MAPPINGSECTOR& candidate = *(after - 1);
    if (address >= EndOf(candidate)) {
        return std::nullopt;
    }
    return candidate;
}

std::uint64_t SectorMap::EndOf(const MAPPINGSECTOR& sector)
{
    return std::uint64_t{sector.dwStartAddress} + sector.dwSectorSize;
}

}  // namespace tarnix::dfuse
