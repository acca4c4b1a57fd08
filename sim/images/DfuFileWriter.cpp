#include "sim/images/DfuFileWriter.h"

#include "sim/images/Crc32.h"

namespace tarnix::sim {

namespace {

constexpr std::size_t kTargetNameLength = 255;
constexpr std::uint16_t kBcdDfu = 0x011A;
constexpr std::uint8_t kSuffixLength = 16;

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void PutText(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

std::vector<std::uint8_t> Elements(const std::vector<DataRun>& runs)
{
    std::vector<std::uint8_t> out;
    for (const DataRun& run : runs) {
        PutLe(out, run.address, 4);
        PutLe(out, static_cast<std::uint32_t>(run.bytes.size()), 4);
        out.insert(out.end(), run.bytes.begin(), run.bytes.end());
    }
    return out;
}

}  // namespace

std::vector<std::uint8_t> DfuFileWriter::Write(const std::vector<DataRun>& runs, const Identity& identity)
{
    const std::vector<std::uint8_t> elements = Elements(runs);
    std::vector<std::uint8_t> target;
    PutText(target, "Target");
    target.push_back(0);  // alternate setting
    PutLe(target, 1, 4);  // named
    std::string name = identity.targetName.substr(0, kTargetNameLength);
    name.resize(kTargetNameLength, '\0');
    PutText(target, name);
    PutLe(target, static_cast<std::uint32_t>(elements.size()), 4);
    PutLe(target, static_cast<std::uint32_t>(runs.size()), 4);
    target.insert(target.end(), elements.begin(), elements.end());

    std::vector<std::uint8_t> file;
    PutText(file, "DfuSe");
    file.push_back(0x01);
    PutLe(file, static_cast<std::uint32_t>(11 + target.size()), 4);
    file.push_back(1);  // one target
    file.insert(file.end(), target.begin(), target.end());

    PutLe(file, identity.bcdDevice, 2);
    PutLe(file, identity.productId, 2);
    PutLe(file, identity.vendorId, 2);
    PutLe(file, kBcdDfu, 2);
    PutText(file, "UFD");
    file.push_back(kSuffixLength);
    PutLe(file, Crc32::DfuSuffix(file.data(), file.size()), 4);
    return file;
}

}  // namespace tarnix::sim
