#pragma once

#include "dfuse/DfuseApi.h"
#include "dfuse/common/ImageElement.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarnix::dfuse {

// A firmware image for one alternate setting of a device: a list of elements, each an address with bytes.
class DfuImage {
public:
    DfuImage(std::uint8_t alternate, std::string name, std::vector<ImageElement> elements);

    std::uint8_t Alternate() const { return alternate_; }
    const std::string& Name() const { return name_; }
    const std::vector<ImageElement>& Elements() const { return elements_; }

    void ReplaceElements(std::vector<ImageElement> elements) { elements_ = std::move(elements); }

    // Fills `element` for the element at `index` following the DFUIMAGEELEMENT rules: address and length
    // only when its Data is null, otherwise the bytes too when dwDataLength (the capacity) is large enough.
    std::uint32_t Describe(unsigned long index, DFUIMAGEELEMENT& element) const;

private:
    std::uint8_t alternate_;
    std::string name_;
    std::vector<ImageElement> elements_;
};

}  // namespace tarnix::dfuse
