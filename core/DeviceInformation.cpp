#include "core/DeviceInformation.h"

#include "core/Asn1Decoder.h"

#include <optional>

namespace {

// Numbers come in pairs (major/minor and the like); half a pair is not taken.
void CopyPair(const std::optional<std::uint16_t>& first, const std::optional<std::uint16_t>& second,
              std::uint32_t& firstTarget, std::uint32_t& secondTarget)
{
    if (first && second) {
        firstTarget = *first;
        secondTarget = *second;
    }
}

void CopyText(const std::optional<std::string>& text, std::string& target)
{
    if (text) {
        target = *text;
    }
}

}  // namespace

void DeviceInformation::FillFromPlatformRecord(const PlatformInformationRecord& record)
{
    CopyPair(record.value84, record.value85, firmwareVersionMajor, firmwareVersionMinor);
    CopyPair(record.value80, record.value81, platformValue80, platformValue81);
    CopyPair(record.value82, record.value83, platformValue82, platformValue83);
    CopyPair(record.value8F, record.value90, parametersVersionMajor, parametersVersionMinor);
    CopyText(record.text86, platformText86);
    CopyText(record.text87, platformText87);
    CopyText(record.text8B, platformText8B);
    CopyText(record.text8C, platformText8C);
    CopyText(record.text8D, platformText8D);
    CopyText(record.text8E, platformText8E);
    if (record.octets8A && !record.octets8A->empty()) {
        mcuIdentifier = FormatMcuIdentifier(*record.octets8A);
    }
}

void DeviceInformation::FillFromDeviceRecord(const DeviceInformationRecord& record)
{
    CopyPair(record.value80, record.value81, deviceValue80, deviceValue81);
    CopyPair(record.value82, record.value83, deviceValue82, deviceValue83);
}

std::string DeviceInformation::FormatMcuIdentifier(const std::vector<unsigned char>& octets)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(octets.size() * 2);
    for (const unsigned char octet : octets) {
        text += kDigits[octet >> 4];
        text += kDigits[octet & 0x0F];
    }
    // The identifier is shown from a fixed-size field; longer ones are cut after the last digit that fits.
    if (text.size() > kMaxMcuIdentifierDigits) {
        text.resize(kMaxMcuIdentifierDigits);
    }
    return text;
}
