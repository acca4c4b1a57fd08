#include "sim/images/IntelHexWriter.h"

#include <algorithm>
#include <cstdio>

namespace tarnix::sim {

namespace {

constexpr std::size_t kBytesPerRecord = 16;

void AppendRecord(std::string& out, std::uint8_t type, std::uint16_t address, const std::uint8_t* data,
                  std::size_t length)
{
    char field[16];
    unsigned sum = static_cast<unsigned>(length) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(length), address, type);
    out += field;
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(field, sizeof field, "%02X", data[i]);
        out += field;
        sum += data[i];
    }
    std::snprintf(field, sizeof field, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    out += field;
}

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

std::string IntelHexWriter::Write(const std::vector<DataRun>& runs, std::optional<std::uint32_t> startAddress)
{
    std::string out;
    std::optional<std::uint16_t> segment;
    for (const DataRun& run : runs) {
        std::size_t offset = 0;
        while (offset < run.bytes.size()) {
            const std::uint32_t address = run.address + static_cast<std::uint32_t>(offset);
            const auto upper = static_cast<std::uint16_t>(address >> 16);
            if (segment != upper) {
                std::vector<std::uint8_t> value;
                AppendBigEndian(value, upper, 2);
                AppendRecord(out, 0x04, 0, value.data(), value.size());
                segment = upper;
            }
            const std::size_t toBoundary = 0x10000 - (address & 0xFFFF);
            const std::size_t length = std::min({kBytesPerRecord, run.bytes.size() - offset, toBoundary});
            AppendRecord(out, 0x00, static_cast<std::uint16_t>(address & 0xFFFF), run.bytes.data() + offset, length);
            offset += length;
        }
    }
    if (startAddress) {
        std::vector<std::uint8_t> value;
        AppendBigEndian(value, *startAddress, 4);
        AppendRecord(out, 0x05, 0, value.data(), value.size());
    }
    AppendRecord(out, 0x01, 0, nullptr, 0);
    return out;
}

}  // namespace tarnix::sim
