#include "dfuse/prt/MappingRegistry.h"

#include <algorithm>

namespace tarnix::dfuse {

MAPPING* MappingRegistry::Add(const MemoryLayout& layout, std::uint8_t alternate)
{
    auto entry = std::make_unique<Entry>();
    entry->sectors = layout.Sectors();
    entry->mapping.nAlternate = alternate;
    const std::size_t nameLength = std::min(layout.Name().size(), sizeof entry->mapping.Name - 1);
    std::copy_n(layout.Name().begin(), nameLength, entry->mapping.Name);
    entry->mapping.NbSectors = static_cast<std::uint32_t>(entry->sectors.size());
    entry->mapping.pSectors = entry->sectors.data();
    MAPPING* mapping = &entry->mapping;
    std::lock_guard<std::mutex> guard(lock_);
    entries_.emplace(mapping, std::move(entry));
    return mapping;
}

bool MappingRegistry::Remove(const MAPPING* mapping)
{
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.erase(mapping) == 1;
}

}  // namespace tarnix::dfuse
