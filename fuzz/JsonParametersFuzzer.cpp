// Feeds arbitrary JSON parameter files to both readers of them: GetParametersFromJson (the program's own
// schema, field names may be unquoted) and the JSON form of Serialize (a schema file, strict JSON, the
// write command with a schema file). The text reaches them as a file, the way users hand it over.
//
// Beyond "no crash": a file that loads gives a record that survives a write/read round trip; a buffer built
// by the JSON form fits the parameter area, is accepted by the area reader, and means the same parameters as
// the record loaded from the same file.
#include "core/Serialization.h"
#include "core/TpError.h"
#include "fuzz/FuzzWorkspace.h"
#include "fuzz/ParameterChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kArea = Serialization::ParameterAreaSize;
const char* const kJsonName = "parameters.json";

std::optional<Parameters> LoadRecord(const std::string& path)
{
    Parameters record;
    try {
        Serialization::GetInstance().GetParametersFromJson(record, path);
    } catch (const TpError::Exception&) {
        if (record != Parameters()) {
            fuzzcheck::Fail("a refused JSON file changed the record");
        }
        return std::nullopt;
    }
    return record;
}

void CheckRoundTrip(const Parameters& record)
{
    std::vector<unsigned char> area(kArea, 0);
    unsigned length = 0;
    Serialization::GetInstance().Serialize(record, area.data(), length);
    const std::optional<Parameters> again = fuzzcheck::ReadArea(area.data());
    if (length == 0 || length > kArea || !again || *again != record) {
        fuzzcheck::Fail("a record loaded from JSON changes when written to a buffer and read again");
    }
}

void CheckSchemaFileForm(const std::string& path, const std::optional<Parameters>& record)
{
    const auto area = std::make_unique<unsigned char[]>(kArea);
    std::fill(area.get(), area.get() + kArea, 0);
    unsigned length = 0;
    Serialization::GetInstance().Serialize(path, TARNIX_SCHEMA_FILE, reinterpret_cast<char*>(area.get()), length,
                                           kArea);
    if (length == 0) {
        return;
    }
    if (length > kArea) {
        fuzzcheck::Fail("the JSON form reported a buffer larger than the parameter area");
    }
    const std::optional<Parameters> fromArea = fuzzcheck::ReadArea(area.get());
    if (!fromArea) {
        fuzzcheck::Fail("a buffer built from a JSON file is refused by the area reader");
    }
    if (!record) {
        fuzzcheck::Fail("a file accepted as strict JSON is refused by the record reader");
    }
    if (*fromArea != *record) {
        fuzzcheck::Fail("the two JSON readers give different parameters for one file");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzWorkspace& workspace = FuzzWorkspace::Get();
    workspace.WriteFile(kJsonName, data, size);
    const std::string path = workspace.PathOf(kJsonName);

    const std::optional<Parameters> record = LoadRecord(path);
    if (record) {
        CheckRoundTrip(*record);
    }
    CheckSchemaFileForm(path, record);
    return 0;
}
