#pragma once

#include <cstdint>
#include <string>

namespace tarnix::sim {

// The ids a gadget shows at device level: vendor, product and release numbers and the three strings of its
// device descriptor.
struct GadgetIds {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;
};

}  // namespace tarnix::sim
