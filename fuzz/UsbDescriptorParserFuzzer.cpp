// Feeds arbitrary sysfs descriptor blobs to the real bus's USB descriptor parser and the same bytes as a
// string descriptor. The input sits in a heap block of exactly its size, so a read past it is caught by
// AddressSanitizer. Beyond "no crash": the walk ends at the first DFU functional descriptor, so bytes
// appended after an accepted blob change nothing; a string never has more units than the bytes allow.
#include "fuzz/FuzzCheck.h"
#include "platform/linux/UsbDescriptorParser.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

using tarnix::platform::DfuDescriptorSummary;
using tarnix::platform::UsbDescriptorParser;

namespace {

bool Same(const DfuDescriptorSummary& a, const DfuDescriptorSummary& b)
{
    return a.vendorId == b.vendorId && a.productId == b.productId && a.bcdDevice == b.bcdDevice &&
           a.interfaceNumber == b.interfaceNumber && a.interfaceString == b.interfaceString &&
           a.transferSize == b.transferSize;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto exact = std::make_unique<std::uint8_t[]>(size);
    std::memcpy(exact.get(), data, size);
    const std::optional<DfuDescriptorSummary> summary = UsbDescriptorParser::ParseDfu(exact.get(), size);

    // The same blob followed by itself.
    const auto doubled = std::make_unique<std::uint8_t[]>(2 * size);
    std::memcpy(doubled.get(), data, size);
    std::memcpy(doubled.get() + size, data, size);
    const std::optional<DfuDescriptorSummary> extended = UsbDescriptorParser::ParseDfu(doubled.get(), 2 * size);
    if (summary && (!extended || !Same(*summary, *extended))) {
        fuzzcheck::Fail("bytes after an accepted blob changed what it says");
    }

    const auto text = UsbDescriptorParser::ParseString(exact.get(), size);
    if (text && text->size() > (size - 2) / 2) {
        fuzzcheck::Fail("a string with more units than the bytes received");
    }
    return 0;
}
