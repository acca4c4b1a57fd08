// Feeds arbitrary parameter areas, as a sensor might hold them in flash, to the two readers of that area:
// Serialization::Deserialize into a record, and the buffer form of WriteParametersToJson (the read command
// with a schema file). The area is a heap block of exactly 2048 bytes (the input, zero-filled behind it), so
// any read outside the area is caught by AddressSanitizer.
//
// Beyond "no crash", an area that is accepted must mean one thing: the record read from it survives a
// write/read round trip unchanged, and the JSON file written from it loads back into the same record.
#include "core/Serialization.h"
#include "core/TpError.h"
#include "fuzz/FuzzWorkspace.h"
#include "fuzz/ParameterChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kArea = Serialization::ParameterAreaSize;
const char* const kJsonName = "area.json";

void CheckRoundTrip(const Parameters& record)
{
    std::vector<unsigned char> rebuilt(kArea, 0);
    unsigned length = 0;
    Serialization::GetInstance().Serialize(record, rebuilt.data(), length);
    if (length == 0 || length > kArea) {
        fuzzcheck::Fail("a record read from an area does not build a buffer that fits the area");
    }
    const std::optional<Parameters> again = fuzzcheck::ReadArea(rebuilt.data());
    if (!again || *again != record) {
        fuzzcheck::Fail("a record read from an area changes when written and read again");
    }
}

void CheckJsonOfArea(const unsigned char* area, const std::optional<Parameters>& record)
{
    const FuzzWorkspace& workspace = FuzzWorkspace::Get();
    const std::string jsonPath = workspace.PathOf(kJsonName);
    std::error_code ignored;
    std::filesystem::remove(jsonPath, ignored);
    bool written = true;
    try {
        Serialization::GetInstance().WriteParametersToJson(reinterpret_cast<const char*>(area), kArea,
                                                           TARNIX_SCHEMA_FILE, jsonPath);
    } catch (const TpError::Exception&) {
        written = false;
    }
    const bool exists = std::filesystem::exists(jsonPath, ignored);
    if (written != exists) {
        fuzzcheck::Fail(written ? "the JSON conversion reported success without writing a file"
                                : "the JSON conversion wrote a file although it failed");
    }
    if (written != record.has_value()) {
        fuzzcheck::Fail("the JSON conversion and the record reader disagree about whether the area is valid");
    }
    if (!written) {
        return;
    }
    Parameters loaded;
    try {
        Serialization::GetInstance().GetParametersFromJson(loaded, jsonPath);
    } catch (const TpError::Exception&) {
        fuzzcheck::Fail("a JSON file written from an area cannot be loaded again");
    }
    if (loaded != *record) {
        fuzzcheck::Fail("a JSON file written from an area loads as different parameters");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kArea) {
        return -1;
    }
    const auto area = std::make_unique<unsigned char[]>(kArea);
    std::memset(area.get(), 0, kArea);
    std::memcpy(area.get(), data, size);

    const std::optional<Parameters> record = fuzzcheck::ReadArea(area.get());
    if (record) {
        CheckRoundTrip(*record);
    }
    CheckJsonOfArea(area.get(), record);
    return 0;
}
