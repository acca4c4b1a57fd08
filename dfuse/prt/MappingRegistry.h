#pragma once

#include "dfuse/DfuseApi.h"
#include "dfuse/prt/MemoryLayout.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace tarnix::dfuse {

// Owns the memory maps handed out to callers. A caller holds a MAPPING pointer; releasing a pointer that
// the registry did not hand out, or releasing it twice, is refused instead of freeing foreign memory.
class MappingRegistry {
public:
    MAPPING* Add(const MemoryLayout& layout, std::uint8_t alternate);
    bool Remove(const MAPPING* mapping);

private:
    struct Entry {
        MAPPING mapping{};
        std::vector<MAPPINGSECTOR> sectors;
    };

    std::mutex lock_;
    std::map<const MAPPING*, std::unique_ptr<Entry>> entries_;
};

}  // namespace tarnix::dfuse
