#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sensor/BusConstants.h"

namespace tarnix::sim {

// One top-level application collection of the virtual sensor's HID report descriptor.
// - The configuration collection has the sensor's own usage page and usage (SensorState) and holds its
//   feature reports 0x80 (switch), 0x01 (request) and 0x02 (answer), each `featureBytes` data bytes after the
//   report ID. Asked for a longer report, the sensor sends the report it has, as a device does.
// - Any other collection has its own usage page and usage and holds one input report of kOtherInputBytes
//   bytes with report ID kOtherReportIdBase + its position in the list, as a digitizer's touch report; it
//   has no feature report.
struct SensorCollection {
    bool configuration = true;
    std::uint16_t usagePage = 0;                            // of another collection
    std::uint16_t usage = 0;                                // of another collection
    std::uint16_t featureBytes = kFeatureReportLength - 1;  // of the configuration collection
};

// The sensor's list of collections in its written form, as `tarnix-sim plug --collections` takes it and the
// state file keeps it: comma-separated, in descriptor order, "config" or "config/BYTES" for the configuration
// collection, "PAGE:USAGE" for another one (numbers in decimal or 0x hex), e.g. "0x0D:0x04,config".
class SensorCollections {
public:
    static constexpr std::size_t kMaxCollections = 8;
    static constexpr std::uint8_t kOtherReportIdBase = 0x10;
    static constexpr std::uint16_t kOtherInputBytes = 8;

    // The configuration collection alone.
    static std::vector<SensorCollection> Default();
    // Nothing, and in `error` why, for a text that is no such list or breaks Check.
    static std::optional<std::vector<SensorCollection>> Parse(std::string_view text, std::string& error);
    static std::string Format(const std::vector<SensorCollection>& collections);
    // Empty when the list is one a sensor can have: 1 to kMaxCollections collections, at most one of them
    // the configuration collection, whose reports carry 1 to kFeatureReportLength - 1 data bytes; else why not.
    static std::string Check(const std::vector<SensorCollection>& collections);
    // The position of the configuration collection; nothing when the list has none.
    static std::optional<std::size_t> Configuration(const std::vector<SensorCollection>& collections);
};

}  // namespace tarnix::sim
