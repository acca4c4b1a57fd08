#pragma once

#include "dfuse/files/ByteReader.h"
#include "dfuse/files/DfuImage.h"

#include <cstdint>
#include <vector>

namespace tarnix::dfuse {

// A DfuSe firmware file: an 11-byte prefix ("DfuSe", version 1, image size, target count), the targets
// (a 274-byte "Target" prefix with alternate setting, name, size and element count, then the elements,
// each address, size and data) and a 16-byte suffix (device version, product, vendor, DFU version 0x011A,
// "UFD", length 16, CRC-32 of everything before the CRC).
class DfuseFile {
public:
    // Reads the file's bytes; DFUSE_STATUS_SUCCESS or the failure code of the first defect found.
    std::uint32_t Parse(const std::vector<std::uint8_t>& bytes);

    std::uint16_t VendorId() const { return vendorId_; }
    std::uint16_t ProductId() const { return productId_; }
    std::uint16_t DeviceVersion() const { return deviceVersion_; }
    const std::vector<DfuImage>& Targets() const { return targets_; }

private:
    std::uint32_t ParseSuffix(const std::vector<std::uint8_t>& bytes);
    std::uint32_t ParsePrefix(ByteReader& reader, std::size_t fileSize, std::uint8_t& targetCount);
    std::uint32_t ParseTarget(ByteReader& reader);
    static std::uint32_t ParseElements(ByteReader reader, std::uint32_t count, std::vector<ImageElement>& out);

    std::uint16_t vendorId_ = 0;
    std::uint16_t productId_ = 0;
    std::uint16_t deviceVersion_ = 0;
    std::vector<DfuImage> targets_;
};

}  // namespace tarnix::dfuse
