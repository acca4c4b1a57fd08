// Feeds arbitrary bytes to the DfuSe file reader of the DFU file library. An accepted file must describe
// every element through the export record rules without reading outside it; a file with one target, written
// again with the simulator's own DfuSe writer, must read back with the same elements.
#include "dfuse/DfuseApi.h"
#include "dfuse/files/DfuseFile.h"
#include "fuzz/ImageElementChecks.h"
#include "sim/images/DfuFileWriter.h"

#include <cstdint>
#include <vector>

using tarnix::dfuse::DfuImage;
using tarnix::dfuse::DfuseFile;

namespace {

// Asks for each element twice as a caller of the export does: first its length, then its bytes.
void CheckDescribe(const DfuImage& image)
{
    for (unsigned long index = 0; index < image.Elements().size(); ++index) {
        DFUIMAGEELEMENT element{};
        if (image.Describe(index, element) != DFUSE_STATUS_SUCCESS) {
            fuzzcheck::Fail("an element of an accepted file cannot be described");
        }
        std::vector<std::uint8_t> bytes(element.dwDataLength);
        element.Data = bytes.data();
        if (image.Describe(index, element) != DFUSE_STATUS_SUCCESS || bytes != image.Elements()[index].data) {
            fuzzcheck::Fail("an element's bytes differ from what the file holds");
        }
    }
    DFUIMAGEELEMENT beyond{};
    if (image.Describe(image.Elements().size(), beyond) == DFUSE_STATUS_SUCCESS) {
        fuzzcheck::Fail("an element past the last one was described");
    }
}

void CheckRewrite(const DfuseFile& file)
{
    const DfuImage& image = file.Targets().front();
    const tarnix::sim::DfuFileWriter::Identity identity{file.VendorId(), file.ProductId(), file.DeviceVersion(),
                                                        image.Name()};
    DfuseFile again;
    if (again.Parse(tarnix::sim::DfuFileWriter::Write(fuzzcheck::ToRuns(image.Elements()), identity)) !=
        DFUSE_STATUS_SUCCESS) {
        fuzzcheck::Fail("the elements of an accepted file, written again, are refused");
    }
    if (again.Targets().size() != 1 || !fuzzcheck::SameElements(again.Targets().front().Elements(), image.Elements())) {
        fuzzcheck::Fail("the elements of an accepted file, written again, read back differently");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    DfuseFile file;
    if (file.Parse(std::vector<std::uint8_t>(data, data + size)) != DFUSE_STATUS_SUCCESS) {
        return 0;
    }
    for (const DfuImage& image : file.Targets()) {
        CheckDescribe(image);
    }
    if (file.Targets().size() == 1 && file.Targets().front().Alternate() == 0) {
        CheckRewrite(file);
    }
    return 0;
}
