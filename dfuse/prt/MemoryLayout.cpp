#include "dfuse/prt/MemoryLayout.h"

#include "dfuse/common/SectorMap.h"

namespace tarnix::dfuse {

namespace {

constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;

std::vector<std::string_view> SplitOn(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t end = text.find(separator); end != std::string_view::npos; end = text.find(separator, start)) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string_view TrimmedRight(std::string_view text)
{
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// Digits in the given base (at most 10 of them), nothing else.
bool ParseNumber(std::string_view digits, unsigned base, std::uint64_t& value)
{
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    value = 0;
    for (const char digit : digits) {
        unsigned next = 0;
        if (digit >= '0' && digit <= '9') {
            next = static_cast<unsigned>(digit - '0');
        } else if (base == 16 && digit >= 'a' && digit <= 'f') {
            next = static_cast<unsigned>(digit - 'a' + 10);
        } else if (base == 16 && digit >= 'A' && digit <= 'F') {
            next = static_cast<unsigned>(digit - 'A' + 10);
        } else {
            return false;
        }
        if (next >= base) {
            return false;
        }
        value = value * base + next;
    }
    return true;
}

bool ParseAddress(std::string_view text, std::uint64_t& address)
{
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
        return false;
    }
    return ParseNumber(text.substr(2), 16, address) && address < kAddressSpace;
}

std::uint64_t UnitSize(char unit)
{
    switch (unit) {
        case ' ':
        case 'B':
            return 1;
        case 'K':
            return 1024;
        case 'M':
            return 1024 * 1024;
        default:
            return 0;
    }
}

}  // namespace

std::uint32_t MemoryLayout::Parse(std::string_view text)
{
    name_.clear();
    sectors_.clear();
    text = TrimmedRight(text);
    if (text.empty() || text.front() != '@') {
        return DFUSE_ERROR_BAD_LAYOUT;
    }
    std::vector<std::string_view> parts = SplitOn(text.substr(1), '/');
    if (parts.size() > 1 && parts.back().empty()) {
        parts.pop_back();  // a closing '/'
    }
    if (parts.size() < 3 || parts.size() % 2 != 1) {
        return DFUSE_ERROR_BAD_LAYOUT;
    }
    name_ = std::string(TrimmedRight(parts[0]));
    for (std::size_t index = 1; index < parts.size(); index += 2) {
        if (const std::uint32_t status = ParseBlock(parts[index], parts[index + 1]); status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
    }
    return SectorMap::FromSectors(sectors_) ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_BAD_LAYOUT;
}

std::uint32_t MemoryLayout::ParseBlock(std::string_view address, std::string_view groups)
{
    std::uint64_t next = 0;
    if (!ParseAddress(address, next)) {
        return DFUSE_ERROR_BAD_LAYOUT;
    }
    for (const std::string_view group : SplitOn(groups, ',')) {
        if (const std::uint32_t status = ParseGroup(group, next); status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
    }
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t MemoryLayout::ParseGroup(std::string_view group, std::uint64_t& address)
{
    const std::size_t star = group.find('*');
    if (star == std::string_view::npos || group.size() < star + 4) {
        return DFUSE_ERROR_BAD_LAYOUT;
    }
    const char access = group.back();
    const std::uint64_t unit = UnitSize(group[group.size() - 2]);
    std::uint64_t count = 0;
    std::uint64_t size = 0;
    if (!ParseNumber(group.substr(0, star), 10, count) ||
        !ParseNumber(group.substr(star + 1, group.size() - star - 3), 10, size) || unit == 0 || access < 'a' ||
        access > 'g') {
        return DFUSE_ERROR_BAD_LAYOUT;
    }
    size *= unit;
    if (count == 0 || size == 0 || size >= kAddressSpace || count > kMaximumSectors - sectors_.size() ||
        address + count * size > kAddressSpace) {
        return DFUSE_ERROR_BAD_LAYOUT;
    }
    for (std::uint64_t index = 0; index < count; ++index) {
        sectors_.push_back(MAPPINGSECTOR{static_cast<std::uint32_t>(address),
                                         static_cast<std::uint32_t>(sectors_.size()), static_cast<std::uint32_t>(size),
                                         static_cast<std::uint8_t>(access - 'a' + 1)});
        address += size;
    }
    return DFUSE_STATUS_SUCCESS;
}

}  // namespace tarnix::dfuse
