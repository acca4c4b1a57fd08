#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "io/HidDevice.h"

namespace tarnix::platform {

// One top-level application collection of a report descriptor: what the host's HID stack makes an interface
// of its own.
struct HidCollection {
    io::HidCapabilities capabilities;
    // The report IDs of the collection's feature reports, ascending; 0 alone when the descriptor declares no
    // report IDs, empty when the collection has no feature report.
    std::vector<std::uint8_t> featureReportIds;
};

// Reads the top-level application collections of a HID interface out of its report descriptor, in their
// order, with the capabilities the host's HID stack reports for each:
// - usage page and usage of the collection (a usage item with a 4-byte value carries its own page in the
//   high 16 bits; a shorter one takes the usage page in force at the collection);
// - for input, output and feature reports, the byte length of the largest report of the collection
//   (report size x report count of its main items and of those of the collections nested in it, per report
//   ID) plus one byte for the report ID, which is counted also when the descriptor declares no IDs; 0 when
//   the collection has no report of the type.
// Main items outside a top-level application collection (in a top-level collection of another kind, or in
// none) belong to no collection.
//
// The parser stays inside the given buffer whatever the items claim. Short items of 0, 1, 2 and 4 data
// bytes and long items (0xFE, skipped by their length) are read; push and pop of the global state use a
// stack of bounded depth. A descriptor that is truncated, has unbalanced collections or pushes and pops,
// declares report ID 0 or above 255, describes a report longer than 65534 bytes, holds no top-level
// application collection or more than kMaxCollections of them gives nothing.
class HidReportDescriptor {
public:
    static constexpr std::size_t kMaxCollections = 32;

    static std::optional<std::vector<HidCollection>> Parse(const std::uint8_t* data, std::size_t length);
};

}  // namespace tarnix::platform
