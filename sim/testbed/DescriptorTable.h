#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include <linux/usbdevice_fs.h>

#include "sim/testbed/IoctlCall.h"

namespace tarnix::sim {

// What a USB device shows over its control endpoint to GET_DESCRIPTOR: its device and configuration
// descriptors (empty: the device does not give it) and its strings by index; string 0, the language list,
// is always there.
struct DescriptorTable {
    // bmRequestType of a standard request to the device that returns data.
    static constexpr std::uint8_t kStandardIn = 0x80;

    std::vector<std::uint8_t> device;
    std::vector<std::uint8_t> configuration;
    std::map<std::uint8_t, std::string> strings;

    // Answers a standard request to the device (`data` holds `transfer.wLength` bytes): GET_DESCRIPTOR with
    // the descriptor's byte count, cut to the length asked for. Any other request, and a descriptor the
    // device does not have, is stalled (EPIPE).
    IoctlAnswer Answer(const usbdevfs_ctrltransfer& transfer, std::uint8_t* data) const;
};

}  // namespace tarnix::sim
