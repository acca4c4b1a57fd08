// Feeds arbitrary report descriptors to the real bus's report-descriptor parser. The input sits in a heap
// block of exactly its size, so a read past it is caught by AddressSanitizer. Beyond "no crash": each
// top-level collection is read by itself from where the descriptor stands when it opens, so an accepted
// descriptor written twice in a row is either refused (the pushes of both halves overflow the stack, a report
// grows past its limit, there are too many collections) or gives twice its collections, the first half
// exactly the collections it gives once.
#include "fuzz/FuzzCheck.h"
#include "platform/linux/HidReportDescriptor.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

using tarnix::io::HidCapabilities;
using tarnix::platform::HidCollection;
using tarnix::platform::HidReportDescriptor;

namespace {

bool Same(const HidCollection& a, const HidCollection& b)
{
    const HidCapabilities& x = a.capabilities;
    const HidCapabilities& y = b.capabilities;
    return x.usagePage == y.usagePage && x.usage == y.usage && x.inputReportLength == y.inputReportLength &&
           x.outputReportLength == y.outputReportLength && x.featureReportLength == y.featureReportLength &&
           a.featureReportIds == b.featureReportIds;
}

std::optional<std::vector<HidCollection>> ParseCopy(const std::uint8_t* data, std::size_t size, int copies)
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
    const auto once = ParseCopy(data, size, 1);
    const auto twice = ParseCopy(data, size, 2);
    if (once && (once->empty() || once->size() > HidReportDescriptor::kMaxCollections)) {
        fuzzcheck::Fail("an accepted descriptor gave no collection or more than the limit");
    }
    if (!once || !twice) {
        return 0;
    }
    if (twice->size() != 2 * once->size()) {
        fuzzcheck::Fail("a descriptor written twice did not give its collections twice");
    }
    for (std::size_t i = 0; i < once->size(); ++i) {
        if (!Same((*once)[i], (*twice)[i])) {
            fuzzcheck::Fail("what follows a top-level collection changed its capabilities");
        }
    }
    return 0;
}
