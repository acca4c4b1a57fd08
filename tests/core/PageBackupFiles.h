#pragma once

// The files that failed parameter writes saved, and what their images hold, read through the DFU file
// library as the flash command reads a ".hex" file.

#include "core/DfuseTypes.h"
#include "core/STDFUFiles.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace page_backup {

// The paths of the folder's entries, sorted; none when there is no such folder.
inline std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

struct Element {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const Element& other) const { return address == other.address && bytes == other.bytes; }
};

// The image's elements, in order; none when the library refuses the file.
inline std::vector<Element> ImageOf(std::string path)
{
    STDFUFiles files;
    void* image = nullptr;
    std::vector<Element> elements;
    unsigned long count = 0;
    if (!files.ImageFromFile(path, &image, 0) || !files.GetImageNbElement(image, &count)) {
        return elements;
    }
    for (unsigned long index = 0; index < count; ++index) {
        Dfuse::DFUIMAGEELEMENT element{};
        if (!files.GetImageElement(image, index, &element)) {
            break;
        }
        std::vector<std::uint8_t> bytes(element.dwDataLength);
        element.Data = bytes.data();
        if (!files.GetImageElement(image, index, &element)) {
            break;
        }
        elements.push_back(Element{element.dwAddress, bytes});
    }
    files.DestroyImage(&image);
    return elements;
}

// The one element an image of the parameter page holds.
inline std::vector<Element> PageImage(std::uint32_t address, const std::vector<std::uint8_t>& page)
{
    return {Element{address, page}};
}

inline std::vector<Element> PageImage(std::uint32_t address, const std::vector<char>& page)
{
    return PageImage(address, std::vector<std::uint8_t>(page.begin(), page.end()));
}

}  // namespace page_backup
