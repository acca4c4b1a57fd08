#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnix::sim {

// The feature reports of the sensor's vendor HID interface.
//   80 00                                   switch to DFU mode
//   01 08 EE 06 40 02 00 00 6C 00 [zeros]   platform information request
//   01 08 EE 06 40 02 02 00 6C 00 [zeros]   device information request
//   02 count answer [zeros]                 the answer (read), count = number of answer bytes
enum class FeatureRequest { SwitchToDfu, PlatformInformation, DeviceInformation, Unknown };

class FeatureReports {
public:
    static constexpr std::uint8_t kSwitchReportId = 0x80;
    static constexpr std::uint8_t kRequestReportId = 0x01;
    static constexpr std::uint8_t kAnswerReportId = 0x02;

    static FeatureRequest Classify(const std::uint8_t* report, std::size_t length);
    // Fills the answer report (zeros after the answer); false when the buffer cannot hold it.
    static bool FillAnswer(const std::vector<std::uint8_t>& answer, std::uint8_t* report, std::size_t length);
};

}  // namespace tarnix::sim
