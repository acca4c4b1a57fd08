// Feeds arbitrary answer reports to the BER information decoder. An input is a whole feature report as the
// sensor sends it (report ID, count, answer), at most 258 bytes. It is copied into a heap block of exactly its
// own size, so a read past what the sensor sent is caught by AddressSanitizer; the decoder is told that the
// bytes after the count are all it may read.
#include "core/Asn1Decoder.h"
#include "core/DeviceInformation.h"
#include "fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t kReportLength = 258;
constexpr std::size_t kMcuIdentifierLimit = 99;

// The MCU identifier is rendered as uppercase hex digits and never longer than its 100-character buffer.
void CheckMcuIdentifier(const std::string& identifier)
{
    if (identifier.size() > kMcuIdentifierLimit) {
        fuzzcheck::Fail("MCU identifier longer than 99 characters");
    }
    for (const char digit : identifier) {
        if (!((digit >= '0' && digit <= '9') || (digit >= 'A' && digit <= 'F'))) {
            fuzzcheck::Fail("MCU identifier holds a character that is no uppercase hex digit");
        }
    }
}

void CheckRecordLengthLimits(const PlatformInformationRecord& record, std::size_t available)
{
    // No element value can be longer than the answer it came from.
    const std::optional<std::string>* texts[] = {&record.text86, &record.text87, &record.text8B,
                                                 &record.text8C, &record.text8D, &record.text8E};
    for (const auto* text : texts) {
        if (text->has_value() && (*text)->size() > available) {
            fuzzcheck::Fail("decoded text longer than the answer");
        }
    }
    if (record.octets8A && record.octets8A->size() > available) {
        fuzzcheck::Fail("decoded octets longer than the answer");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size > kReportLength) {
        return -1;  // not a report the host could have read; keep it out of the corpus
    }
    const auto report = std::make_unique<unsigned char[]>(size);
    std::memcpy(report.get(), data, size);
    const unsigned count = report[1] - 1u;
    const std::size_t available = size - 2;
    const Asn1Decoder& decoder = Asn1Decoder::GetInstance();

    if (const auto platform = decoder.GetPlatformInformation(report.get() + 2, count, available)) {
        CheckRecordLengthLimits(*platform, available);
        DeviceInformation information;
        information.FillFromPlatformRecord(*platform);
        CheckMcuIdentifier(information.mcuIdentifier);
    }
    if (const auto device = decoder.GetDeviceInformation(report.get() + 2, count, available)) {
        DeviceInformation information;
        information.FillFromDeviceRecord(*device);
    }
    // The length rule on its own, at every position of the answer.
    for (std::size_t offset = 0; offset < available; ++offset) {
        (void)decoder.GetLength(report.get() + 2 + offset, available - offset);
    }
    return 0;
}
