#include "sim/sensor/InformationAnswers.h"

#include "sim/sensor/BerWriter.h"

namespace tarnix::sim {

namespace {

constexpr std::uint8_t kEnvelope = 0xEF;
constexpr std::uint8_t kInformation = 0x6C;
constexpr std::uint8_t kPlatformBlock = 0xA0;
constexpr std::uint8_t kDeviceBlock = 0xA1;

constexpr std::uint16_t kHardwareMajor = 1;
constexpr std::uint16_t kHardwareMinor = 2;
constexpr std::uint16_t kBootloaderMajor = 3;
constexpr std::uint16_t kBootloaderMinor = 1;
constexpr const char* kHardwareRevisionText = "C";
constexpr const char* kBuildDateText = "2024-03-18";
constexpr const char* kVariantText = "release";

constexpr std::uint16_t kSourceCount = 16;
constexpr std::uint16_t kPhotodiodeCount = 16;
constexpr std::uint16_t kScannedRows = 8;
constexpr std::uint16_t kScanFrequency = 200;
constexpr std::uint16_t kReportedTouches = 2;

std::vector<std::uint8_t> Answer(std::uint8_t addressHigh, std::uint8_t blockTag, const BerWriter& elements)
{
    BerWriter information;
    information.Raw(elements.Wrapped(blockTag).Bytes());
    BerWriter content;
    content.Raw({0x40, 0x02, addressHigh, 0x00});
    content.Raw(information.Wrapped(kInformation).Bytes());
    return content.Wrapped(kEnvelope).Bytes();
}

}  // namespace

std::vector<std::uint8_t> InformationAnswers::Platform(const SensorState& state)
{
    BerWriter elements;
    elements.Integer16(0x80, kHardwareMajor);
    elements.Integer16(0x81, kHardwareMinor);
    elements.Integer16(0x82, kBootloaderMajor);
    elements.Integer16(0x83, kBootloaderMinor);
    elements.Integer16(0x84, state.firmware.major);
    elements.Integer16(0x85, state.firmware.minor);
    elements.Text(0x86, state.product);
    elements.Text(0x87, state.manufacturer);
    elements.Integer32(0x88, kFlashSize);
    elements.Integer32(0x89, state.firmware.major * 1000u + state.firmware.minor);
    elements.Octets(0x8A, state.mcuId);
    elements.Text(0x8B, state.serial);
    elements.Text(0x8C, kHardwareRevisionText);
    elements.Text(0x8D, kBuildDateText);
    elements.Text(0x8E, kVariantText);
    if (state.schema) {
        elements.Integer16(0x8F, state.schema->major);
        elements.Integer16(0x90, state.schema->minor);
    }
    return Answer(0x00, kPlatformBlock, elements);
}

std::vector<std::uint8_t> InformationAnswers::Device(const SensorState&)
{
    BerWriter elements;
    elements.Integer16(0x80, kSourceCount);
    elements.Integer16(0x81, kPhotodiodeCount);
    elements.Integer16(0x82, kScannedRows);
    elements.Integer16(0x83, kScanFrequency);
    elements.Integer16(0x84, kReportedTouches);
    return Answer(0x02, kDeviceBlock, elements);
}

}  // namespace tarnix::sim
