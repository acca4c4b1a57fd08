#include "sim/sensor/FeatureReports.h"

#include <algorithm>

namespace tarnix::sim {

namespace {

constexpr std::size_t kRequestLength = 10;

}  // namespace

FeatureRequest FeatureReports::Classify(const std::uint8_t* report, std::size_t length)
{
    if (report == nullptr || length < 2) {
        return FeatureRequest::Unknown;
    }
    if (report[0] == kSwitchReportId) {
        return report[1] == 0x00 ? FeatureRequest::SwitchToDfu : FeatureRequest::Unknown;
    }
    if (report[0] != kRequestReportId || length < kRequestLength || report[1] != kRequestLength - 2) {
        return FeatureRequest::Unknown;
    }
    const bool framed = report[2] == 0xEE && report[3] == 0x06 && report[4] == 0x40 && report[5] == 0x02 &&
                        report[7] == 0x00 && report[8] == 0x6C && report[9] == 0x00;
    if (!framed) {
        return FeatureRequest::Unknown;
    }
    if (report[6] == 0x00) {
        return FeatureRequest::PlatformInformation;
    }
    return report[6] == 0x02 ? FeatureRequest::DeviceInformation : FeatureRequest::Unknown;
}

bool FeatureReports::FillAnswer(const std::vector<std::uint8_t>& answer, std::uint8_t* report, std::size_t length)
{
    if (report == nullptr || length < 2 || answer.size() > 0xFF || answer.size() + 2 > length) {
        return false;
    }
    std::fill_n(report, length, 0);
    report[0] = kAnswerReportId;
    report[1] = static_cast<std::uint8_t>(answer.size());
    std::copy(answer.begin(), answer.end(), report + 2);
    return true;
}

}  // namespace tarnix::sim
