#include "sim/sensor/FirmwareHeader.h"

#include <array>
#include <cstring>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/FlashMemory.h"

namespace tarnix::sim {

namespace {

constexpr char kMagic[] = "TNXFW1";
constexpr std::size_t kMagicLength = sizeof kMagic - 1;
constexpr std::uint16_t kNoSchema = 0xFFFF;

std::uint16_t ReadLe16(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)); }

void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

std::optional<FirmwareHeader> FirmwareHeader::ReadFrom(const FlashMemory& flash)
{
    std::array<std::uint8_t, kSize> bytes{};
    if (!flash.Read(kFlashBase + kFirmwareHeaderOffset, bytes.data(), bytes.size())) {
        return std::nullopt;
    }
    return Decode(bytes.data(), bytes.size());
}

std::optional<FirmwareHeader> FirmwareHeader::Decode(const std::uint8_t* bytes, std::size_t length)
{
    if (length < kSize || std::memcmp(bytes, kMagic, kMagicLength) != 0) {
        return std::nullopt;
    }
    FirmwareHeader header;
    header.firmware = Version{ReadLe16(bytes + 6), ReadLe16(bytes + 8)};
    const Version schema{ReadLe16(bytes + 10), ReadLe16(bytes + 12)};
    if (schema.major != kNoSchema || schema.minor != kNoSchema) {
        header.schema = schema;
    }
    return header;
}

std::vector<std::uint8_t> FirmwareHeader::Encode() const
{
    std::vector<std::uint8_t> out(kMagic, kMagic + kMagicLength);
    AppendLe16(out, firmware.major);
    AppendLe16(out, firmware.minor);
    AppendLe16(out, schema ? schema->major : kNoSchema);
    AppendLe16(out, schema ? schema->minor : kNoSchema);
    return out;
}

}  // namespace tarnix::sim
