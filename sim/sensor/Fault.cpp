#include "sim/sensor/Fault.h"

#include <array>
#include <utility>

namespace tarnix::sim {

namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 12> kFaultNames{{
    {Fault::None, "none"},
    {Fault::Open, "open"},
    {Fault::Erase, "erase"},
    {Fault::Address, "address"},
    {Fault::Upload, "upload"},
    {Fault::Download, "download"},
    {Fault::Leave, "leave"},
    {Fault::Program, "program"},
    {Fault::Stall, "stall"},
    {Fault::Unplug, "unplug"},
    {Fault::Corrupt, "corrupt"},
    {Fault::Hang, "hang"},
}};

}  // namespace

std::string_view FaultName(Fault fault)
{
    for (const auto& [value, name] : kFaultNames) {
        if (value == fault) {
            return name;
        }
    }
    return "none";
}

std::optional<Fault> ParseFault(std::string_view name)
{
    for (const auto& [value, text] : kFaultNames) {
        if (text == name) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace tarnix::sim
