// Writes seed reports for the BER answer fuzzer: the platform and device answers that the simulator's own
// encoder gives for a few virtual sensors, each as the whole 258-byte feature report the host reads.
//   make_ber_seeds OUTPUT_FOLDER
#include "sim/sensor/FeatureReports.h"
#include "sim/sensor/InformationAnswers.h"
#include "sim/sensor/SensorState.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace tarnix::sim;

namespace {

constexpr std::size_t kReportLength = 258;

bool WriteReport(const std::string& path, const std::vector<std::uint8_t>& answer)
{
    std::vector<std::uint8_t> report(kReportLength, 0);
    if (!FeatureReports::FillAnswer(answer, report.data(), report.size())) {
        std::fprintf(stderr, "answer too long for a report: %s\n", path.c_str());
        return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(report.data()), static_cast<std::streamsize>(report.size()));
    return static_cast<bool>(file);
}

std::vector<SensorState> SeedSensors()
{
    SensorState standard;
    standard.serial = "TS200-0001";
    standard.mcuId = {0x00, 0x1F, 0xA0, 0x33, 0x47, 0x12, 0x09, 0x38, 0x31, 0x36, 0x35, 0x30};

    SensorState noSchema = standard;
    noSchema.schema.reset();
    noSchema.firmware = Version{1, 9};

    SensorState longTexts = standard;
    longTexts.product = std::string(60, 'P');
    longTexts.manufacturer = std::string(40, 'M');
    longTexts.mcuId.assign(40, 0xAB);
    return {standard, noSchema, longTexts};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_ber_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool written = true;
    int number = 0;
    for (const SensorState& sensor : SeedSensors()) {
        ++number;
        written &= WriteReport(folder + "/platform-" + std::to_string(number), InformationAnswers::Platform(sensor));
        written &= WriteReport(folder + "/device-" + std::to_string(number), InformationAnswers::Device(sensor));
    }
    return written ? 0 : 1;
}
