#include "sim/sensor/Version.h"

#include "sim/sensor/TextNumbers.h"

namespace tarnix::sim {

std::optional<Version> Version::Parse(std::string_view text)
{
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const auto major = TextNumbers::ParseDecimal(text.substr(0, dot), 0xFFFF);
    const auto minor = TextNumbers::ParseDecimal(text.substr(dot + 1), 0xFFFF);
    if (!major || !minor) {
        return std::nullopt;
    }
    return Version{static_cast<std::uint16_t>(*major), static_cast<std::uint16_t>(*minor)};
}

std::string Version::ToString() const { return std::to_string(major) + "." + std::to_string(minor); }

}  // namespace tarnix::sim
