#include "dfuse/files/IntelHexReader.h"

#include "dfuse/DfuseApi.h"

#include <algorithm>

namespace tarnix::dfuse {

namespace {

constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;
constexpr std::size_t kRecordOverhead = 5;  // count, address (2), type, checksum

enum RecordType : std::uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegmentAddress = 0x02,
    kStartSegmentAddress = 0x03,
    kExtendedLinearAddress = 0x04,
    kStartLinearAddress = 0x05,
};

int HexDigit(char digit)
{
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    return -1;
}

std::string_view Trimmed(std::string_view line)
{
    const char* blanks = " \t\r";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

std::uint16_t BigEndian16(const std::uint8_t* bytes) { return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]); }

}  // namespace

std::uint32_t IntelHexReader::Parse(const std::vector<std::uint8_t>& text)
{
    const std::string_view all(reinterpret_cast<const char*>(text.data()), text.size());
    std::size_t start = 0;
    while (start < all.size() && !ended_) {
        std::size_t end = all.find('\n', start);
        if (end == std::string_view::npos) {
            end = all.size();
        }
        if (const std::uint32_t status = ParseLine(all.substr(start, end - start)); status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
        start = end + 1;
    }
    return ended_ ? MergeRuns() : DFUSE_ERROR_HEX_NO_END;
}

std::uint32_t IntelHexReader::ParseLine(std::string_view line)
{
    line = Trimmed(line);
    if (line.empty()) {
        return DFUSE_STATUS_SUCCESS;
    }
    std::vector<std::uint8_t> record;
    if (const std::uint32_t status = DecodeRecord(line, record); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    return ApplyRecord(record);
}

std::uint32_t IntelHexReader::DecodeRecord(std::string_view line, std::vector<std::uint8_t>& record)
{
    if (line.front() != ':' || (line.size() - 1) % 2 != 0) {
        return DFUSE_ERROR_HEX_SYNTAX;
    }
    for (std::size_t index = 1; index < line.size(); index += 2) {
        const int high = HexDigit(line[index]);
        const int low = HexDigit(line[index + 1]);
        if (high < 0 || low < 0) {
            return DFUSE_ERROR_HEX_SYNTAX;
        }
        record.push_back(static_cast<std::uint8_t>((high << 4) | low));
    }
    if (record.size() < kRecordOverhead || record.size() != record[0] + kRecordOverhead) {
        return DFUSE_ERROR_HEX_SYNTAX;
    }
    unsigned sum = 0;
    for (const std::uint8_t byte : record) {
        sum += byte;
    }
    return (sum & 0xFFu) == 0 ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_HEX_CHECKSUM;
}

std::uint32_t IntelHexReader::ApplyRecord(const std::vector<std::uint8_t>& record)
{
    const std::uint8_t count = record[0];
    const std::uint16_t offset = BigEndian16(&record[1]);
    const std::uint8_t* payload = &record[4];
    switch (record[3]) {
        case kData:
            return AddData(offset, payload, count);
        case kEndOfFile:
            ended_ = count == 0;
            return ended_ ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_HEX_RECORD_TYPE;
        case kExtendedSegmentAddress:
            base_ = std::uint32_t{BigEndian16(payload)} << 4;
            return count == 2 ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_HEX_RECORD_TYPE;
        case kExtendedLinearAddress:
            base_ = std::uint32_t{BigEndian16(payload)} << 16;
            return count == 2 ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_HEX_RECORD_TYPE;
        case kStartSegmentAddress:
        case kStartLinearAddress:
            return count == 4 ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_HEX_RECORD_TYPE;
        default:
            return DFUSE_ERROR_HEX_RECORD_TYPE;
    }
}

std::uint32_t IntelHexReader::AddData(std::uint16_t offset, const std::uint8_t* data, std::size_t size)
{
    const std::uint64_t address = std::uint64_t{base_} + offset;
    if (address + size > kAddressSpace) {
        return DFUSE_ERROR_HEX_ADDRESS_OVERFLOW;
    }
    if (size == 0) {
        return DFUSE_STATUS_SUCCESS;
    }
    if (runs_.empty() || runs_.back().End() != address) {
        runs_.push_back(ImageElement{static_cast<std::uint32_t>(address), {}});
    }
    std::vector<std::uint8_t>& bytes = runs_.back().data;
    bytes.insert(bytes.end(), data, data + size);
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t IntelHexReader::MergeRuns()
{
    std::stable_sort(runs_.begin(), runs_.end(),
                     [](const ImageElement& a, const ImageElement& b) { return a.address < b.address; });
    std::vector<ImageElement> merged;
    for (ImageElement& run : runs_) {
        if (!merged.empty() && run.address < merged.back().End()) {
            return DFUSE_ERROR_IMAGE_OVERLAP;
        }
        if (!merged.empty() && run.address == merged.back().End()) {
            std::vector<std::uint8_t>& bytes = merged.back().data;
            bytes.insert(bytes.end(), run.data.begin(), run.data.end());
        } else {
            merged.push_back(std::move(run));
        }
    }
    runs_ = std::move(merged);
    return DFUSE_STATUS_SUCCESS;
}

}  // namespace tarnix::dfuse
