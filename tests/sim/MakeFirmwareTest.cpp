#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

#include "sim/sensor/BusConstants.h"
#include "tests/support/SimulatedBus.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Le32(const Bytes& bytes, std::size_t at)
{
    return bytes.at(at) | (bytes.at(at + 1) << 8) | (bytes.at(at + 2) << 16) |
           (static_cast<std::uint32_t>(bytes.at(at + 3)) << 24);
}

std::uint16_t Le16(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes.at(at) | (bytes.at(at + 1) << 8));
}

// Bitwise CRC-32 without the final inversion, written independently of the tool's table version.
std::uint32_t SlowDfuCrc(const Bytes& bytes, std::size_t length)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return crc;
}

struct HexContents {
    std::map<std::uint32_t, std::uint8_t> data;
    std::vector<int> recordTypes;
    std::uint32_t startAddress = 0;
    bool wellFormed = true;
};

// Reads every record, checking its checksum and CRLF ending.
HexContents ParseHex(const std::string& text)
{
    HexContents contents;
    std::uint32_t upper = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line.back() != '\r' || line[0] != ':' || line.size() % 2 != 0) {
            contents.wellFormed = false;
            return contents;
        }
        Bytes record;
        for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
            record.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
        }
        unsigned sum = 0;
        for (std::uint8_t byte : record) {
            sum += byte;
        }
        if (record.size() != record[0] + 5u || (sum & 0xFF) != 0) {
            contents.wellFormed = false;
            return contents;
        }
        const std::uint32_t offset = (record[1] << 8) | record[2];
        const int type = record[3];
        contents.recordTypes.push_back(type);
        if (type == 0x04) {
            upper = static_cast<std::uint32_t>((record[4] << 8) | record[5]) << 16;
        } else if (type == 0x05) {
            contents.startAddress =
                (static_cast<std::uint32_t>(record[4]) << 24) | (record[5] << 16) | (record[6] << 8) | record[7];
        } else if (type == 0x00) {
            for (std::size_t i = 0; i < record[0]; ++i) {
                contents.data[upper + offset + static_cast<std::uint32_t>(i)] = record[4 + i];
            }
        }
    }
    return contents;
}

TEST(MakeFirmware, HexFileLeavesTheErasedParameterPageAsAGap)
{
    test::SimulatedBus bus;
    const test::ToolRun run =
        bus.RunSimTool({"make-firmware", "--version", "3.2", "--schema", "1.0", "-o", bus.File("fw.hex")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto bytes = bus.Files().ReadBytes("fw.hex");
    const HexContents hex = ParseHex(std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(hex.wellFormed);
    ASSERT_GE(hex.recordTypes.size(), 3u);
    EXPECT_EQ(hex.recordTypes.front(), 0x04);
    EXPECT_EQ(hex.recordTypes[hex.recordTypes.size() - 2], 0x05);
    EXPECT_EQ(hex.recordTypes.back(), 0x01);
    EXPECT_EQ(hex.startAddress, 0x08000211u);

    EXPECT_EQ(hex.data.size(), 0x6000u - 0x800u);
    EXPECT_EQ(hex.data.begin()->first, 0x08000000u);
    EXPECT_EQ(hex.data.rbegin()->first, 0x08005FFFu);
    EXPECT_EQ(hex.data.count(0x08003FFF), 1u);
    EXPECT_EQ(hex.data.count(0x08004000), 0u);
    EXPECT_EQ(hex.data.count(0x080047FF), 0u);
    EXPECT_EQ(hex.data.count(0x08004800), 1u);
    const Bytes header = {'T', 'N', 'X', 'F', 'W', '1', 3, 0, 2, 0, 1, 0, 0, 0};
    for (std::size_t i = 0; i < header.size(); ++i) {
        EXPECT_EQ(hex.data.at(0x08000200 + static_cast<std::uint32_t>(i)), header[i]) << i;
    }
}

TEST(MakeFirmware, DfuFileHasOneElementPerContiguousRun)
{
    test::SimulatedBus bus;
    const test::ToolRun run = bus.RunSimTool({"make-firmware", "--version", "3.2", "-o", bus.File("fw.dfu")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Bytes file = bus.Files().ReadBytes("fw.dfu");
    ASSERT_GT(file.size(), 11u + 274u + 16u);

    EXPECT_EQ(std::string(file.begin(), file.begin() + 5), "DfuSe");
    EXPECT_EQ(file[5], 0x01);
    EXPECT_EQ(Le32(file, 6), file.size() - 16);
    EXPECT_EQ(file[10], 1) << "one target";

    const std::size_t target = 11;
    EXPECT_EQ(std::string(file.begin() + target, file.begin() + target + 6), "Target");
    EXPECT_EQ(file[target + 6], 0) << "alternate setting 0";
    EXPECT_EQ(Le32(file, target + 7), 1u) << "named";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[target + 11])), "Internal Flash");
    const std::uint32_t targetSize = Le32(file, target + 266);
    EXPECT_EQ(Le32(file, target + 270), 2u) << "two elements around the erased page";
    EXPECT_EQ(target + 274 + targetSize, file.size() - 16);

    const std::size_t first = target + 274;
    EXPECT_EQ(Le32(file, first), 0x08000000u);
    EXPECT_EQ(Le32(file, first + 4), 0x4000u);
    const std::size_t second = first + 8 + 0x4000;
    EXPECT_EQ(Le32(file, second), 0x08004800u);
    EXPECT_EQ(Le32(file, second + 4), 0x1800u);
    EXPECT_EQ(second + 8 + 0x1800, file.size() - 16);
    EXPECT_EQ(Bytes(file.begin() + first + 8 + 0x200, file.begin() + first + 8 + 0x206),
              (Bytes{'T', 'N', 'X', 'F', 'W', '1'}));

    const std::size_t suffix = file.size() - 16;
    EXPECT_EQ(Le16(file, suffix), 0x2200);
    EXPECT_EQ(Le16(file, suffix + 2), 0xDF11);
    EXPECT_EQ(Le16(file, suffix + 4), 0x0483);
    EXPECT_EQ(Le16(file, suffix + 6), 0x011A);
    EXPECT_EQ(std::string(file.begin() + suffix + 8, file.begin() + suffix + 11), "UFD");
    EXPECT_EQ(file[suffix + 11], 16);
    EXPECT_EQ(Le32(file, suffix + 12), SlowDfuCrc(file, file.size() - 4));
}

TEST(MakeFirmware, ParameterFileFillsThePageAndCloseTheGap)
{
    test::SimulatedBus bus;
    const Bytes parameters = {0x10, 0x00, 0x00, 0x00, 'Q', 'T', 'X', 'S', 0x00, 0x7F};
    bus.Files().Write("params.bin", parameters);
    const test::ToolRun run = bus.RunSimTool({"make-firmware", "--version", "1.0", "--size", "0x4800", "--params",
                                              bus.File("params.bin"), "-o", bus.File("fw.dfu")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Bytes file = bus.Files().ReadBytes("fw.dfu");
    const std::size_t element = 11 + 274;
    EXPECT_EQ(Le32(file, 11 + 270), 1u);
    EXPECT_EQ(Le32(file, element + 4), 0x4800u);
    const std::size_t page = element + 8 + 0x4000;
    EXPECT_EQ(Bytes(file.begin() + page, file.begin() + page + parameters.size()), parameters);
    EXPECT_EQ(file[page + parameters.size()], 0xFF);
    EXPECT_EQ(file[page + 0x7FF], 0xFF);

    const test::ToolRun hexRun = bus.RunSimTool({"make-firmware", "--version", "1.0", "--size", "0x4800", "--params",
                                                 bus.File("params.bin"), "-o", bus.File("fw.hex")});
    ASSERT_EQ(hexRun.exitCode, 0) << hexRun.err;
    const Bytes text = bus.Files().ReadBytes("fw.hex");
    const HexContents hex = ParseHex(std::string(text.begin(), text.end()));
    ASSERT_TRUE(hex.wellFormed);
    EXPECT_EQ(hex.data.size(), 0x4800u);
    EXPECT_EQ(hex.data.at(0x08004004), 'Q');
}

TEST(MakeFirmware, ImagesThatCannotHoldTheirParametersAreRefused)
{
    test::SimulatedBus bus;
    bus.Files().Write("params.bin", Bytes(16, 0));
    bus.Files().Write("big.bin", Bytes(2049, 0));
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"make-firmware", "--version", "1.0", "--size", "0x4000", "--params", bus.File("params.bin"), "-o",
              bus.File("fw.hex")},
             {"make-firmware", "--version", "1.0", "--params", bus.File("big.bin"), "-o", bus.File("fw.hex")},
             {"make-firmware", "--version", "1.0", "--size", "0x20001", "-o", bus.File("fw.hex")},
         }) {
        const test::ToolRun run = bus.RunSimTool(arguments);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_FALSE(run.err.empty());
    }
    // A small image without the parameter page is fine: one run, no gap.
    const test::ToolRun small =
        bus.RunSimTool({"make-firmware", "--version", "1.0", "--size", "0x300", "-o", bus.File("s.hex")});
    ASSERT_EQ(small.exitCode, 0) << small.err;
    const Bytes text = bus.Files().ReadBytes("s.hex");
    EXPECT_EQ(ParseHex(std::string(text.begin(), text.end())).data.size(), 0x300u);
}

}  // namespace
}  // namespace tarnix::sim
