// Feeds arbitrary text to the Intel hex reader of the DFU file library. An accepted file must give elements
// sorted by address, each non-empty, none overlapping or touching the next (contiguous runs are one element),
// none reaching beyond the 32-bit address space; and writing those elements with the simulator's own hex
// writer and reading them again must give the same elements.
#include "dfuse/DfuseApi.h"
#include "dfuse/files/IntelHexReader.h"
#include "fuzz/ImageElementChecks.h"
#include "sim/images/IntelHexWriter.h"

#include <cstdint>
#include <string>
#include <vector>

using tarnix::dfuse::ImageElement;
using tarnix::dfuse::IntelHexReader;

namespace {

void CheckElementOrder(const std::vector<ImageElement>& elements)
{
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].data.empty()) {
            fuzzcheck::Fail("an empty element");
        }
        if (elements[i].End() > (std::uint64_t{1} << 32)) {
            fuzzcheck::Fail("an element beyond the 32-bit address space");
        }
        if (i > 0 && elements[i - 1].End() >= elements[i].address) {
            fuzzcheck::Fail("elements out of order, overlapping or not merged");
        }
    }
}

void CheckRewrite(const std::vector<ImageElement>& elements)
{
    const std::string text = tarnix::sim::IntelHexWriter::Write(fuzzcheck::ToRuns(elements), std::nullopt);
    IntelHexReader reader;
    if (reader.Parse(std::vector<std::uint8_t>(text.begin(), text.end())) != DFUSE_STATUS_SUCCESS) {
        fuzzcheck::Fail("the elements of an accepted file, written again, are refused");
    }
    if (!fuzzcheck::SameElements(reader.TakeElements(), elements)) {
        fuzzcheck::Fail("the elements of an accepted file, written again, read back differently");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    IntelHexReader reader;
    if (reader.Parse(std::vector<std::uint8_t>(data, data + size)) != DFUSE_STATUS_SUCCESS) {
        return 0;
    }
    const std::vector<ImageElement> elements = reader.TakeElements();
    CheckElementOrder(elements);
    CheckRewrite(elements);
    return 0;
}
