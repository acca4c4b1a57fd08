#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnix::sim {

// A MAJOR.MINOR pair as the sensor reports firmware and parameter schema versions (16 bits each).
struct Version {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;

    // "MAJ.MIN" with decimal numbers of at most 65535; nothing for anything else.
    static std::optional<Version> Parse(std::string_view text);
    std::string ToString() const;

    bool operator==(const Version& other) const { return major == other.major && minor == other.minor; }
    bool operator!=(const Version& other) const { return !(*this == other); }
};

}  // namespace tarnix::sim
