#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnix::sim {

// The two blobs that make a FunctionFS function, written to its ep0 before the gadget is bound: the
// descriptors of its interfaces (format version 2, a full-speed and a high-speed set) and its strings.
// FunctionFS checks both: every descriptor must be one it knows for the interface class in force, and the
// string blob must have exactly the length its header states.
class FunctionFsBlobs {
public:
    // Each set is descriptors one after another (what a configuration descriptor holds); a descriptor whose
    // length byte is 0 or runs past the end ends the set.
    static std::vector<std::uint8_t> Descriptors(const std::vector<std::uint8_t>& fullSpeed,
                                                 const std::vector<std::uint8_t>& highSpeed);
    // The strings in US English; the function refers to strings[i] as its string i + 1 (the gadget gives
    // them their device-wide indexes).
    static std::vector<std::uint8_t> Strings(const std::vector<std::string>& strings);
};

}  // namespace tarnix::sim
