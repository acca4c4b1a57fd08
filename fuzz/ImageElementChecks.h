#pragma once

#include "dfuse/common/ImageElement.h"
#include "fuzz/FuzzCheck.h"
#include "sim/images/FirmwareImage.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

// Shared by the firmware file fuzzers: converting parsed elements to the simulator's data runs (whose writers
// produce files independently of the readers under test) and comparing element lists.
namespace fuzzcheck {

inline std::vector<tarnix::sim::DataRun> ToRuns(const std::vector<tarnix::dfuse::ImageElement>& elements)
{
    std::vector<tarnix::sim::DataRun> runs;
    runs.reserve(elements.size());
    for (const auto& element : elements) {
        runs.push_back({element.address, element.data});
    }
    return runs;
}

inline bool SameElements(const std::vector<tarnix::dfuse::ImageElement>& left,
                         const std::vector<tarnix::dfuse::ImageElement>& right)
{
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i].address != right[i].address || left[i].data != right[i].data) {
            return false;
        }
    }
    return true;
}

}  // namespace fuzzcheck
