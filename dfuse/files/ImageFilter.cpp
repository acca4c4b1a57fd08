#include "dfuse/files/ImageFilter.h"

#include <algorithm>

namespace tarnix::dfuse {

std::uint32_t ImageFilter::Apply(DfuImage& image, const MAPPING* mapping) const
{
    if (mapping == nullptr || RequiredAccess() == 0) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::optional<SectorMap> sectors = SectorMap::FromMapping(*mapping);
    if (!sectors) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    std::vector<ImageElement> chunks;
    for (const ImageElement& element : image.Elements()) {
        if (const std::uint32_t status = Split(element, *sectors, chunks); status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
    }
    image.ReplaceElements(std::move(chunks));
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t ImageFilter::Split(const ImageElement& element, const SectorMap& sectors,
                                 std::vector<ImageElement>& chunks) const
{
    std::size_t offset = 0;
    while (offset < element.data.size()) {
        const auto address = static_cast<std::uint32_t>(element.address + offset);
        const std::optional<MAPPINGSECTOR> sector = sectors.Find(address);
        if (!sector || (sector->bSectorType & RequiredAccess()) == 0) {
            return DFUSE_ERROR_OUTSIDE_MAPPING;
        }
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(SectorMap::EndOf(*sector), element.End()) - address);
        const std::uint8_t* begin = element.data.data() + offset;
        Keep(address, begin, begin + length, chunks);
        offset += length;
    }
    return DFUSE_STATUS_SUCCESS;
}

void ImageFilter::Keep(std::uint32_t address, const std::uint8_t* begin, const std::uint8_t* end,
                       std::vector<ImageElement>& chunks) const
{
    const std::uint8_t* firstData = std::find_if(begin, end, [](std::uint8_t byte) { return byte != 0xFF; });
    if (firstData == end) {
        return;
    }
    if (truncateLeadingFF_) {
        address += static_cast<std::uint32_t>(firstData - begin);
        begin = firstData;
    }
    chunks.push_back(ImageElement{address, std::vector<std::uint8_t>(begin, end)});
}

std::uint8_t ImageFilter::RequiredAccess() const
{
    switch (operation_) {
        case DFUSE_OPERATION_ERASE:
            return DFUSE_SECTOR_ERASABLE;
        case DFUSE_OPERATION_PROGRAM:
            return DFUSE_SECTOR_WRITEABLE;
        default:
            return 0;
    }
}

}  // namespace tarnix::dfuse
