#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace tarnix::test {

// What a HID report descriptor declares, as a host's parser reads its short items: the top-level usage page
// and usage, the feature bits of each report ID, and whether its collections balance and its items end
// within the bytes.
struct ReportLayout {
    std::uint32_t usagePage = 0;
    std::uint32_t usage = 0;
    std::map<int, std::uint32_t> featureBits;
    int openCollections = 0;
    bool wellFormed = true;
};

inline ReportLayout ParseReportDescriptor(const std::vector<std::uint8_t>& descriptor)
{
    ReportLayout layout;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    int reportId = 0;
    for (std::size_t at = 0; at < descriptor.size();) {
        const std::uint8_t prefix = descriptor[at];
        const std::size_t size = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
        if (at + 1 + size > descriptor.size()) {
            layout.wellFormed = false;
            break;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= static_cast<std::uint32_t>(descriptor[at + 1 + i]) << (8 * i);
        }
        const bool topLevel = layout.openCollections == 0;
        switch (prefix & 0xFC) {
            case 0x04:
                layout.usagePage = topLevel ? value : layout.usagePage;
                break;
            case 0x08:
                layout.usage = topLevel ? value : layout.usage;
                break;
            case 0x74:
                reportSize = value;
                break;
            case 0x94:
                reportCount = value;
                break;
            case 0x84:
                reportId = static_cast<int>(value);
                break;
            case 0xA0:
                ++layout.openCollections;
                break;
            case 0xC0:
                --layout.openCollections;
                break;
            case 0xB0:
                layout.featureBits[reportId] += reportSize * reportCount;
                break;
            default:
                break;
        }
        at += 1 + size;
    }
    return layout;
}

// The layout of each top-level collection: the descriptor cut after every End Collection that closes one,
// each piece read by itself (for descriptors whose collections each set the global items they use).
inline std::vector<ReportLayout> ParseTopLevelCollections(const std::vector<std::uint8_t>& descriptor)
{
    std::vector<ReportLayout> collections;
    std::size_t start = 0;
    int depth = 0;
    for (std::size_t at = 0; at < descriptor.size();) {
        const std::uint8_t prefix = descriptor[at];
        const std::size_t size = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
        at += 1 + size;
        if ((prefix & 0xFC) == 0xA0) {
            ++depth;
        } else if ((prefix & 0xFC) == 0xC0 && --depth == 0) {
            collections.push_back(ParseReportDescriptor(std::vector<std::uint8_t>(
                descriptor.begin() + static_cast<std::ptrdiff_t>(start),
                descriptor.begin() + static_cast<std::ptrdiff_t>(std::min(at, descriptor.size())))));
            start = at;
        }
    }
    return collections;
}

}  // namespace tarnix::test
