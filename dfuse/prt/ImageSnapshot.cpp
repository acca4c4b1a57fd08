#include "dfuse/prt/ImageSnapshot.h"

#include "dfuse/DfuseApi.h"

namespace tarnix::dfuse {

std::uint32_t ImageSnapshot::Take(void* image, std::vector<ImageElement>& elements)
{
    unsigned long count = 0;
    if (const std::uint32_t status = STDFUFILES_GetImageNbElement(image, &count); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    elements.clear();
    for (unsigned long index = 0; index < count; ++index) {
        DFUIMAGEELEMENT description{};
        if (const std::uint32_t status = STDFUFILES_GetImageElement(image, index, &description);
            status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
        ImageElement element{description.dwAddress, std::vector<std::uint8_t>(description.dwDataLength)};
        description.Data = element.data.data();
        if (const std::uint32_t status = STDFUFILES_GetImageElement(image, index, &description);
            status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
        elements.push_back(std::move(element));
    }
    return DFUSE_STATUS_SUCCESS;
}

}  // namespace tarnix::dfuse
