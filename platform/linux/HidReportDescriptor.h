#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/HidDevice.h"

namespace tarnix::platform {

// Reads the capabilities of a HID interface out of its report descriptor, the way the host's HID stack
// reports them for the interface's first top-level application collection:
// - usage page and usage of that collection (a usage item with a 4-byte value carries its own page in the
//   high 16 bits; a shorter one takes the usage page in force at the collection);
// - for input, output and feature reports, the byte length of the largest report of the collection
//   (report size x report count of its main items, per report ID) plus one byte for the report ID, which
//   is counted also when the descriptor declares no IDs; 0 when the collection has no report of the type.
//
// The parser stays inside the given buffer whatever the items claim. Short items of 0, 1, 2 and 4 data
// bytes and long items (0xFE, skipped by their length) are read; push and pop of the global state use a
// stack of bounded depth. A descriptor that is truncated, has unbalanced collections or pushes and pops,
// declares report ID 0 or above 255, describes a report longer than 65534 bytes or holds no top-level
// application collection gives nothing.
class HidReportDescriptor {
public:
    static std::optional<HidCapabilities> Parse(const std::uint8_t* data, std::size_t length);
};

}  // namespace tarnix::platform
