#pragma once

#include "dfuse/DfuseApi.h"

#include <cstdint>
#include <ostream>
#include <vector>

// An image handle of STDFUFiles that is released at the end of the test, with its elements read back
// through the exports.
class ImageHandle {
public:
    struct Element {
        std::uint32_t address;
        std::vector<std::uint8_t> data;
        bool operator==(const Element& other) const { return address == other.address && data == other.data; }
    };

    ImageHandle() = default;
    ~ImageHandle()
    {
        if (image_ != nullptr) {
            STDFUFILES_DestroyImage(&image_);
        }
    }
    ImageHandle(const ImageHandle&) = delete;
    ImageHandle& operator=(const ImageHandle&) = delete;

    void** Out() { return &image_; }
    void* Get() const { return image_; }

    // Every element with its bytes; empty when the image cannot be listed.
    std::vector<Element> Elements() const
    {
        std::vector<Element> elements;
        unsigned long count = 0;
        if (STDFUFILES_GetImageNbElement(image_, &count) != DFUSE_STATUS_SUCCESS) {
            return elements;
        }
        for (unsigned long index = 0; index < count; ++index) {
            DFUIMAGEELEMENT element{};
            if (STDFUFILES_GetImageElement(image_, index, &element) != DFUSE_STATUS_SUCCESS) {
                return {};
            }
            std::vector<std::uint8_t> data(element.dwDataLength);
            element.Data = data.data();
            if (STDFUFILES_GetImageElement(image_, index, &element) != DFUSE_STATUS_SUCCESS) {
                return {};
            }
            elements.push_back({element.dwAddress, std::move(data)});
        }
        return elements;
    }

private:
    void* image_ = nullptr;
};

inline std::ostream& operator<<(std::ostream& out, const ImageHandle::Element& element)
{
    return out << "element at 0x" << std::hex << element.address << " of " << std::dec << element.data.size()
               << " bytes";
}
