#include "sim/images/FirmwareImage.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/FirmwareHeader.h"

namespace tarnix::sim {

namespace {

constexpr std::uint32_t kStackTop = 0x20005000;

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Filler that looks like code: a xorshift sequence seeded by the version, so each version differs.
void FillCode(std::vector<std::uint8_t>& bytes, Version firmware)
{
    std::uint32_t seed = 0x9E3779B9u ^ (static_cast<std::uint32_t>(firmware.major) << 16) ^ firmware.minor;
    for (std::uint8_t& byte : bytes) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
}

}  // namespace

FirmwareImage::FirmwareImage(Version firmware, std::optional<Version> schema, std::uint32_t size,
                             std::optional<std::vector<std::uint8_t>> parameters)
{
    if (size < kMinimumSize || size > kFlashSize) {
        throw std::invalid_argument("image size must be between " + std::to_string(kMinimumSize) + " and " +
                                    std::to_string(kFlashSize) + " bytes");
    }
    const bool coversPage = size >= kParameterOffset + kFlashPageSize;
    if (parameters && !coversPage) {
        throw std::invalid_argument("an image with parameters needs a size of at least " +
                                    std::to_string(kParameterOffset + kFlashPageSize) + " bytes");
    }
    if (parameters && parameters->size() > kFlashPageSize) {
        throw std::invalid_argument("the parameter file is larger than the " + std::to_string(kFlashPageSize) +
                                    "-byte parameter page");
    }
    bytes_.resize(size);
    FillCode(bytes_, firmware);
    PutLe32(bytes_, 0, kStackTop);
    PutLe32(bytes_, 4, kEntryPoint);
    const std::vector<std::uint8_t> header = FirmwareHeader{firmware, schema}.Encode();
    std::copy(header.begin(), header.end(), bytes_.begin() + kFirmwareHeaderOffset);
    if (coversPage) {
        const auto page = bytes_.begin() + kParameterOffset;
        std::fill_n(page, kFlashPageSize, 0xFF);
        if (parameters) {
            std::copy(parameters->begin(), parameters->end(), page);
        }
        parameterGap_ = !parameters;
    }
}

std::vector<DataRun> FirmwareImage::Runs() const
{
    if (!parameterGap_) {
        return {DataRun{kFlashBase, bytes_}};
    }
    std::vector<DataRun> runs;
    runs.push_back(DataRun{kFlashBase, {bytes_.begin(), bytes_.begin() + kParameterOffset}});
    const std::uint32_t after = kParameterOffset + kFlashPageSize;
    if (bytes_.size() > after) {
        runs.push_back(DataRun{kFlashBase + after, {bytes_.begin() + after, bytes_.end()}});
    }
    return runs;
}

}  // namespace tarnix::sim
