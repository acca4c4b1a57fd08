#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/sensor/SensorState.h"

namespace tarnix::sim {

// The text form of a sensor's state on disk: a first line "tarnix-sim-sensor 1", then one "key=value"
// line per field. Parsing is strict about the values (a damaged file is refused as a whole) and ignores
// keys it does not know.
class SensorStateFile {
public:
    static std::string Format(const SensorState& state);
    // The state, or nothing with the reason in `error`.
    static std::optional<SensorState> Parse(std::string_view text, std::string& error);
};

}  // namespace tarnix::sim
