#pragma once

#include <cstdint>
#include <string>

namespace tarnix::sim {

// What a USB device says about itself at device level: identifiers and the three strings of its device
// descriptor.
struct DeviceIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;
};

}  // namespace tarnix::sim
