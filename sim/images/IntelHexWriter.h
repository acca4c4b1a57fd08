#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/images/FirmwareImage.h"

namespace tarnix::sim {

// Writes runs of bytes as an Intel HEX text: data records (00) of up to 16 bytes that never cross a 64 KiB
// boundary, an extended linear address record (04) before the first record of every 64 KiB segment, an
// optional start linear address record (05), and the end-of-file record (01). Lines end with "\r\n", as
// the hex files of the sensor's vendor tools do.
class IntelHexWriter {
public:
    static std::string Write(const std::vector<DataRun>& runs, std::optional<std::uint32_t> startAddress);
};

}  // namespace tarnix::sim
