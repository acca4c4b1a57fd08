#pragma once

#include <cstdint>
#include <vector>

namespace tarnix::dfuse {

// A contiguous chunk of an image: its bytes and the address of the first one.
struct ImageElement {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;

    // One past the last address, computed wide so that an element ending at 4 GiB does not wrap.
    std::uint64_t End() const { return std::uint64_t{address} + data.size(); }
};

}  // namespace tarnix::dfuse
