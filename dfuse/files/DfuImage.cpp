#include "dfuse/files/DfuImage.h"

#include <algorithm>

namespace tarnix::dfuse {

DfuImage::DfuImage(std::uint8_t alternate, std::string name, std::vector<ImageElement> elements)
    : alternate_(alternate), name_(std::move(name)), elements_(std::move(elements))
{
}

std::uint32_t DfuImage::Describe(unsigned long index, DFUIMAGEELEMENT& element) const
{
    if (index >= elements_.size()) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const ImageElement& source = elements_[index];
    const std::uint32_t capacity = element.dwDataLength;
    const auto length = static_cast<std::uint32_t>(source.data.size());
    element.dwAddress = source.address;
    element.dwDataLength = length;
    if (element.Data == nullptr) {
        return DFUSE_STATUS_SUCCESS;
    }
    if (capacity < length) {
        return DFUSE_ERROR_BUFFER_TOO_SMALL;
    }
    std::copy(source.data.begin(), source.data.end(), element.Data);
    return DFUSE_STATUS_SUCCESS;
}

}  // namespace tarnix::dfuse
