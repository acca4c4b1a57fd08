#pragma once

#include "dfuse/DfuseApi.h"
#include "dfuse/common/SectorMap.h"
#include "dfuse/files/DfuImage.h"

#include <cstdint>
#include <vector>

namespace tarnix::dfuse {

// Prepares an image for an erase or programming operation on a device with the given memory map: every
// element is cut along the sectors it crosses, and a chunk made only of 0xFF is dropped, so a sector that
// the image leaves erased is neither erased nor programmed and keeps what the device holds there.
class ImageFilter {
public:
    ImageFilter(unsigned long operation, bool truncateLeadingFF)
        : operation_(operation), truncateLeadingFF_(truncateLeadingFF)
    {
    }

    // Replaces the image's elements by the filtered chunks. Refuses an unknown operation, an unusable map,
    // and an image with data outside the map or in a sector that does not allow the operation; the image is
    // then left unchanged.
    std::uint32_t Apply(DfuImage& image, const MAPPING* mapping) const;

private:
    std::uint32_t Split(const ImageElement& element, const SectorMap& sectors, std::vector<ImageElement>& chunks) const;
    void Keep(std::uint32_t address, const std::uint8_t* begin, const std::uint8_t* end,
              std::vector<ImageElement>& chunks) const;
    std::uint8_t RequiredAccess() const;

    unsigned long operation_;
    bool truncateLeadingFF_;
};

}  // namespace tarnix::dfuse
