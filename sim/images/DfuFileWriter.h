#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/images/FirmwareImage.h"

namespace tarnix::sim {

// Writes a DfuSe file with one target (alternate setting 0) whose elements are the given runs:
//   prefix  "DfuSe", version 1, image size (file size without the suffix, LE32), target count
//   target  "Target", alternate setting, named flag (LE32), name (255 bytes), size of its elements (LE32),
//           element count (LE32)
//   element address (LE32), size (LE32), data
//   suffix  bcdDevice, idProduct, idVendor, bcdDFU 0x011A (LE16 each), "UFD", length 16, CRC (LE32) over
//           every byte before the CRC
class DfuFileWriter {
public:
    struct Identity {
        std::uint16_t vendorId;
        std::uint16_t productId;
        std::uint16_t bcdDevice;
        std::string targetName;
    };

    static std::vector<std::uint8_t> Write(const std::vector<DataRun>& runs, const Identity& identity);
};

}  // namespace tarnix::sim
