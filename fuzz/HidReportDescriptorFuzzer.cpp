// Feeds arbitrary report descriptors to the real bus's report-descriptor parser. The input sits in a heap
// block of exactly its size, so a read past it is caught by AddressSanitizer. Beyond "no crash": the
// capabilities come from the first top-level collection alone, so an accepted descriptor written twice in a
// row is either refused (the pushes of both halves overflow the stack) or gives the same capabilities.
#include "fuzz/FuzzCheck.h"
#include "platform/linux/HidReportDescriptor.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

using tarnix::platform::HidCapabilities;
using tarnix::platform::HidReportDescriptor;

namespace {

bool Same(const HidCapabilities& a, const HidCapabilities& b)
{
    return a.usagePage == b.usagePage && a.usage == b.usage && a.inputReportLength == b.inputReportLength &&
           a.outputReportLength == b.outputReportLength && a.featureReportLength == b.featureReportLength;
}

std::optional<HidCapabilities> ParseCopy(const std::uint8_t* data, std::size_t size, int copies)
{
    const std::size_t length = size * copies;
    const auto block = std::make_unique<std::uint8_t[]>(length);
    for (int copy = 0; copy < copies; ++copy) {
        std::memcpy(block.get() + copy * size, data, size);
    }
    return HidReportDescriptor::Parse(block.get(), length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<HidCapabilities> once = ParseCopy(data, size, 1);
    const std::optional<HidCapabilities> twice = ParseCopy(data, size, 2);
    if (once && twice && !Same(*once, *twice)) {
        fuzzcheck::Fail("what follows the first top-level collection changed its capabilities");
    }
    return 0;
}
