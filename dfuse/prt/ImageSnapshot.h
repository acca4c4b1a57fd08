#pragma once

#include "dfuse/common/ImageElement.h"

#include <cstdint>
#include <vector>

namespace tarnix::dfuse {

// Copies the elements of an STDFUFiles image, so that an operation works on its own data whatever the
// caller does with the image afterwards.
class ImageSnapshot {
public:
    static std::uint32_t Take(void* image, std::vector<ImageElement>& elements);
};

}  // namespace tarnix::dfuse
