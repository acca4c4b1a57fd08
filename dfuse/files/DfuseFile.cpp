#include "dfuse/files/DfuseFile.h"

#include "dfuse/files/Crc32.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tarnix::dfuse {

namespace {

constexpr std::size_t kSuffixSize = 16;
constexpr std::size_t kTargetPrefixSize = 274;
constexpr std::size_t kTargetNameSize = 255;
constexpr std::size_t kElementHeaderSize = 8;
constexpr std::uint16_t kDfuVersion = 0x011A;
constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;

bool Matches(const std::uint8_t* bytes, const char* text) { return std::memcmp(bytes, text, std::strlen(text)) == 0; }

std::string NameFrom(const std::uint8_t* bytes)
{
    const std::uint8_t* end = std::find(bytes, bytes + kTargetNameSize, std::uint8_t{0});
    return std::string(bytes, end);
}

}  // namespace

std::uint32_t DfuseFile::Parse(const std::vector<std::uint8_t>& bytes)
{
    targets_.clear();
    if (const std::uint32_t status = ParseSuffix(bytes); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    ByteReader reader(bytes.data(), bytes.size() - kSuffixSize);
    std::uint8_t targetCount = 0;
    if (const std::uint32_t status = ParsePrefix(reader, bytes.size(), targetCount); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    for (std::uint8_t index = 0; index < targetCount; ++index) {
        if (const std::uint32_t status = ParseTarget(reader); status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
    }
    return reader.AtEnd() ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_FILE_BAD_TARGET;
}

std::uint32_t DfuseFile::ParseSuffix(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() < kSuffixSize) {
        return DFUSE_ERROR_FILE_TRUNCATED;
    }
    ByteReader suffix(bytes.data() + bytes.size() - kSuffixSize, kSuffixSize);
    std::uint16_t dfuVersion = 0;
    const std::uint8_t* signature = nullptr;
    std::uint8_t length = 0;
    std::uint32_t storedCrc = 0;
    suffix.ReadU16(deviceVersion_);
    suffix.ReadU16(productId_);
    suffix.ReadU16(vendorId_);
    suffix.ReadU16(dfuVersion);
    suffix.ReadBytes(3, signature);
    suffix.ReadU8(length);
    suffix.ReadU32(storedCrc);
    if (!Matches(signature, "UFD") || length != kSuffixSize || dfuVersion != kDfuVersion) {
        return DFUSE_ERROR_FILE_BAD_SUFFIX;
    }
    const std::uint32_t computed = ~Crc32::Compute(bytes.data(), bytes.size() - 4);
    return computed == storedCrc ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_FILE_BAD_CRC;
}

std::uint32_t DfuseFile::ParsePrefix(ByteReader& reader, std::size_t fileSize, std::uint8_t& targetCount)
{
    const std::uint8_t* signature = nullptr;
    std::uint8_t version = 0;
    std::uint32_t imageSize = 0;
    if (!reader.ReadBytes(5, signature) || !reader.ReadU8(version) || !reader.ReadU32(imageSize) ||
        !reader.ReadU8(targetCount)) {
        return DFUSE_ERROR_FILE_TRUNCATED;
    }
    if (!Matches(signature, "DfuSe") || version != 1) {
        return DFUSE_ERROR_FILE_BAD_PREFIX;
    }
    if (imageSize > fileSize - kSuffixSize) {
        return DFUSE_ERROR_FILE_TRUNCATED;
    }
    if (imageSize != fileSize - kSuffixSize) {
        return DFUSE_ERROR_FILE_BAD_PREFIX;
    }
    return targetCount == 0 ? DFUSE_ERROR_FILE_BAD_TARGET : DFUSE_STATUS_SUCCESS;
}

std::uint32_t DfuseFile::ParseTarget(ByteReader& reader)
{
    std::optional<ByteReader> prefix = reader.Take(kTargetPrefixSize);
    if (!prefix) {
        return DFUSE_ERROR_FILE_TRUNCATED;
    }
    const std::uint8_t* signature = nullptr;
    const std::uint8_t* name = nullptr;
    std::uint8_t alternate = 0;
    std::uint32_t named = 0;
    std::uint32_t targetSize = 0;
    std::uint32_t elementCount = 0;
    prefix->ReadBytes(6, signature);
    prefix->ReadU8(alternate);
    prefix->ReadU32(named);
    prefix->ReadBytes(kTargetNameSize, name);
    prefix->ReadU32(targetSize);
    prefix->ReadU32(elementCount);
    if (!Matches(signature, "Target")) {
        return DFUSE_ERROR_FILE_BAD_TARGET;
    }
    std::optional<ByteReader> body = reader.Take(targetSize);
    if (!body) {
        return DFUSE_ERROR_FILE_TRUNCATED;
    }
    std::vector<ImageElement> elements;
    if (const std::uint32_t status = ParseElements(*body, elementCount, elements); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    targets_.emplace_back(alternate, named != 0 ? NameFrom(name) : std::string(), std::move(elements));
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t DfuseFile::ParseElements(ByteReader reader, std::uint32_t count, std::vector<ImageElement>& out)
{
    if (count > reader.Remaining() / kElementHeaderSize) {
        return DFUSE_ERROR_FILE_TRUNCATED;
    }
    for (std::uint32_t index = 0; index < count; ++index) {
        ImageElement element;
        std::uint32_t size = 0;
        const std::uint8_t* data = nullptr;
        if (!reader.ReadU32(element.address) || !reader.ReadU32(size) || !reader.ReadBytes(size, data)) {
            return DFUSE_ERROR_FILE_TRUNCATED;
        }
        if (std::uint64_t{element.address} + size > kAddressSpace) {
            return DFUSE_ERROR_FILE_BAD_TARGET;
        }
        element.data.assign(data, data + size);
        out.push_back(std::move(element));
    }
    return reader.AtEnd() ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_FILE_BAD_TARGET;
}

}  // namespace tarnix::dfuse
