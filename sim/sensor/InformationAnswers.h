#pragma once

#include <cstdint>
#include <vector>

#include "sim/sensor/SensorState.h"

namespace tarnix::sim {

// The sensor's BER answers to the two information requests:
//   EF len | 40 02 addr addr | 6C len | A0 (platform) or A1 (device) len | elements in ascending tag order
//
// Platform elements: 80/81 hardware revision major/minor, 82/83 bootloader version major/minor, 84/85
// firmware version major/minor, 86 product text, 87 manufacturer text, 88 flash size (32 bits), 89 firmware
// build number (32 bits), 8A MCU identifier octets, 8B serial number text, 8C hardware revision text,
// 8D build date text, 8E firmware variant text, 8F/90 parameter schema version major/minor (left out when
// the firmware has no parameter schema).
// Device elements: 80 light source count, 81 photodiode count, 82 scanned rows, 83 scan frequency,
// 84 reported touches.
class InformationAnswers {
public:
    static std::vector<std::uint8_t> Platform(const SensorState& state);
    static std::vector<std::uint8_t> Device(const SensorState& state);
};

}  // namespace tarnix::sim
