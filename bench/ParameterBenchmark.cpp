// The parameter conversions a user waits for when saving and loading parameter files: a full record to the
// parameter buffer, back to a record, to a JSON file and from that file to a record again; and the list of
// field names of a schema version. The floors do only the flatbuffers work these operations must do by
// design (a fresh parser reads the embedded schema text on every call, the text generator, the file write
// and read, the JSON parse), without the conversion to and from the record.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include <flatbuffers/idl.h>
#include <flatbuffers/util.h>

#include "core/FlatbufferSchemas.h"
#include "core/Parameters.h"
#include "core/Serialization.h"
#include "sim/sensor/FactoryParameters.h"

namespace {

// The schema 1.1 text, the newest embedded one.
const char* NewestSchema() { return FLATBUFFER_SCHEMAS[FLATBUFFER_SCHEMA_COUNT - 1]; }

// A record with every field a factory-new sensor stores.
Parameters FactoryRecord()
{
    Parameters record;
    Serialization::GetInstance().Deserialize(tarnix::sim::kFactoryParameters, record,
                                             tarnix::sim::kFactoryParametersSize);
    return record;
}

std::string JsonPath()
{
    return (std::filesystem::temp_directory_path() / ("tarnix-bench-" + std::to_string(::getpid()) + ".json")).string();
}

flatbuffers::Parser FreshParser(bool strictJson, bool forceDefaults)
{
    flatbuffers::IDLOptions options;
    options.strict_json = strictJson;
    options.force_defaults = forceDefaults;
    return flatbuffers::Parser(options);
}

void BM_ParameterRoundTrip(benchmark::State& state)
{
    Serialization& serialization = Serialization::GetInstance();
    const Parameters original = FactoryRecord();
    const std::string path = JsonPath();
    for (auto _ : state) {
        std::vector<unsigned char> area(Serialization::ParameterAreaSize, 0);
        unsigned int length = 0;
        serialization.Serialize(original, area.data(), length);
        Parameters fromBuffer;
        serialization.Deserialize(area.data(), fromBuffer);
        if (!serialization.WriteParametersToJson(fromBuffer, path)) {
            state.SkipWithError("the JSON file was not written");
            break;
        }
        Parameters fromFile;
        serialization.GetParametersFromJson(fromFile, path);
        if (!(fromFile == original)) {
            state.SkipWithError("the round trip changed the record");
            break;
        }
    }
    std::filesystem::remove(path);
}

void BM_ParameterRoundTripFloor(benchmark::State& state)
{
    std::vector<unsigned char> area(Serialization::ParameterAreaSize, 0);
    unsigned int length = 0;
    Serialization::GetInstance().Serialize(FactoryRecord(), area.data(), length);
    const std::string path = JsonPath();
    for (auto _ : state) {
        flatbuffers::Parser writer = FreshParser(true, true);
        std::string text;
        if (!writer.Parse(NewestSchema()) || !flatbuffers::GenerateText(writer, area.data(), &text) ||
            !flatbuffers::SaveFile(path.c_str(), text, false)) {
            state.SkipWithError("the floor's JSON file was not written");
            break;
        }
        flatbuffers::Parser reader = FreshParser(false, true);
        std::string loaded;
        if (!reader.Parse(NewestSchema()) || !flatbuffers::LoadFile(path.c_str(), false, &loaded) ||
            !reader.Parse(loaded.c_str())) {
            state.SkipWithError("the floor's JSON file was not read");
            break;
        }
        benchmark::DoNotOptimize(reader.builder_.GetBufferPointer());
    }
    std::filesystem::remove(path);
}

void BM_GetAllFieldNamesForParameterVersion(benchmark::State& state)
{
    for (auto _ : state) {
        const auto names = Serialization::GetInstance().GetAllFieldNamesForParameterVersion(1, 1);
        if (names.empty()) {
            state.SkipWithError("no field names");
            break;
        }
        benchmark::DoNotOptimize(names.data());
    }
}

void BM_GetAllFieldNamesFloor(benchmark::State& state)
{
    for (auto _ : state) {
        flatbuffers::Parser parser = FreshParser(false, false);
        if (!parser.Parse(NewestSchema())) {
            state.SkipWithError("the schema did not parse");
            break;
        }
        parser.Serialize();
        benchmark::DoNotOptimize(parser.builder_.GetBufferPointer());
    }
}

BENCHMARK(BM_ParameterRoundTrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParameterRoundTripFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetAllFieldNamesForParameterVersion)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetAllFieldNamesFloor)->Unit(benchmark::kMicrosecond);

}  // namespace
