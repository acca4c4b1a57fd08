#include "core/Utility.h"
#include "core/tnxp_serialization_generated.h"
#include "tests/cli/SimulatedBusTest.h"

#include <filesystem>
#include <iostream>

namespace {

const std::string noSchemaVersionLine =
    "Error: This firmware does not have support for persistant parameters. Please update the firmware or leave "
    "configuration mode if applicable.\n";
const std::string outdatedProgramLine =
    "Error: This version of Tarnix Programmer is outdated and not compatible with the current firmware version. "
    "Please download the latest version of Tarnix Programmer.\n";
const std::string invalidScanningRangeError =
    "Error: Invalid scanning range provided. Read parameters to get possible scanning ranges for selected sensor. "
    "Save parameters to json file if you wish to keep them.\n";

// The read and write commands against one virtual sensor that holds the factory parameters (geometry 16/16/8,
// fingerFrequency 200, idleFrequency 50). The flash is checked through the simulator, decoded with the
// generated flatbuffers accessors, independently of the tool.
class ParameterCommandTest : public SimulatedBusTest {
protected:
    void SetUp() override
    {
        SimulatedBusTest::SetUp();
        serial = Plug({"--reenumerate-ms", "100"});
        factoryArea = ReadParameterArea(serial);
    }

    const tnxp_serialization::Parameters* StoredParameters()
    {
        storedArea = ReadParameterArea(serial);
        flatbuffers::Verifier verifier(storedArea.data(), storedArea.size());
        if (!tnxp_serialization::ParametersBufferHasIdentifier(storedArea.data()) ||
            !tnxp_serialization::VerifyParametersBuffer(verifier)) {
            ADD_FAILURE() << "the parameter area holds no valid parameter buffer";
            return nullptr;
        }
        return tnxp_serialization::GetParameters(storedArea.data());
    }

    void ExpectSucceededAndBackInNormalMode(const ProgramRun& run)
    {
        EXPECT_EQ(run.out, "Operation succeeded\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(WaitForMode(serial, "normal"));
    }

    void ExpectFailedWith(const ProgramRun& run, const std::string& error)
    {
        EXPECT_EQ(run.out, "\n");
        EXPECT_EQ(run.err, error);
        EXPECT_EQ(run.exitCode, 255);
    }

    void ExpectParametersUnchanged() { EXPECT_EQ(ReadParameterArea(serial), factoryArea); }

    std::string SchemaFile() const
    {
        return std::string(TARNIX_SOURCE_DIR) + "/core/schemas/tnxp_serialization_1_1.fbs";
    }

    static bool Contains(const std::string& text, const std::string& part)
    {
        return text.find(part) != std::string::npos;
    }

    std::string serial;
    std::vector<unsigned char> factoryArea;
    std::vector<unsigned char> storedArea;
};

TEST_F(ParameterCommandTest, ReadSavesParametersWithoutTheGeometryCounts)
{
    const ProgramRun run = RunCli({"-r", "params.json"});
    ExpectSucceededAndBackInNormalMode(run);
    const std::string json = bus.Files().Read("params.json");
    EXPECT_TRUE(Contains(json, "\"peakCount\": 8")) << json;
    EXPECT_FALSE(Contains(json, "sourceCount")) << json;
    EXPECT_FALSE(Contains(json, "sensorCount")) << json;
    EXPECT_TRUE(Contains(json, "\"fingerFrequency\": 200")) << json;
    EXPECT_TRUE(Contains(json, "\"numberOfReportedTouches\": 2")) << json;
    ExpectParametersUnchanged();
}

TEST_F(ParameterCommandTest, ReadIsQuick)
{
    RunSim({"unplug", "--all"});
    const std::string sensor = Plug();  // the default re-enumeration time of 300 ms
    const double harness = HarnessMilliseconds();
    const double quickest = QuickestOf(
        [&] {
            EXPECT_TRUE(WaitForMode(sensor, "normal")) << "the read before leaves the sensor in normal mode";
            return RunCli({"--read", "params.json"});
        },
        3);
    EXPECT_LT(quickest - harness, 1500.0)
        << "the read took at least " << quickest << " ms, of which " << harness << " ms for the emulated devices";
    std::cout << "[ measured ] -r with one sensor: " << quickest - harness << " ms\n";
}

TEST_F(ParameterCommandTest, WrittenChangeReachesTheFlashAndKeepsTheGeometry)
{
    ASSERT_EQ(RunCli({"-r", "params.json"}).exitCode, 0);
    ASSERT_TRUE(WaitForMode(serial, "normal"));
    std::string json = bus.Files().Read("params.json");
    const std::size_t at = json.find("\"fingerFrequency\": 200");
    ASSERT_NE(at, std::string::npos);
    json.replace(at, 22, "\"fingerFrequency\": 250");
    bus.Files().Write("changed.json", json);

    ExpectSucceededAndBackInNormalMode(RunCli({"--write", "changed.json"}));
    const tnxp_serialization::Parameters* stored = StoredParameters();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->fingerFrequency(), 250);
    EXPECT_EQ(stored->idleFrequency(), 50);
    ASSERT_NE(stored->geometry(), nullptr);
    EXPECT_EQ(stored->geometry()->sourceCount(), 16);
    EXPECT_EQ(stored->geometry()->sensorCount(), 16);
    EXPECT_EQ(stored->geometry()->peakCount(), 8);

    ASSERT_EQ(RunCli({"-r", "again.json"}).exitCode, 0);
    EXPECT_TRUE(Contains(bus.Files().Read("again.json"), "\"fingerFrequency\": 250"));
}

TEST_F(ParameterCommandTest, PartialFileChangesOnlyItsFields)
{
    bus.Files().Write("partial.json",
                      "{ \"idleFrequency\": 75, \"deviceConfiguration\": { \"floatingProtection\": "
                      "{ \"time\": 90 } } }");
    ExpectSucceededAndBackInNormalMode(RunCli({"-w", "partial.json"}));
    const tnxp_serialization::Parameters* stored = StoredParameters();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->idleFrequency(), 75);
    EXPECT_EQ(stored->fingerFrequency(), 200);
    ASSERT_NE(stored->deviceConfiguration(), nullptr);
    ASSERT_NE(stored->deviceConfiguration()->floatingProtection(), nullptr);
    EXPECT_EQ(stored->deviceConfiguration()->floatingProtection()->time(), 90);
    EXPECT_TRUE(stored->deviceConfiguration()->floatingProtection()->enabled());
    EXPECT_EQ(stored->deviceConfiguration()->numberOfReportedTouches(), 2);
}

TEST_F(ParameterCommandTest, PeakCountIsCheckedAgainstTheSensorsOwnSourceCount)
{
    // 149 is the scanning range of the smallest peak count, not a peak count itself.
    const std::map<int, int> possible = Utility::GetPossiblePeakCountAndRelativeHeights(16);
    ASSERT_EQ(possible.count(149), 1u);
    ASSERT_NE(possible.at(149), 149);
    bus.Files().Write("range.json", "{ \"geometry\": { \"peakCount\": 149 } }");
    ExpectFailedWith(RunCli({"-w", "range.json"}), invalidScanningRangeError);
    ExpectParametersUnchanged();
}

TEST_F(ParameterCommandTest, PossiblePeakCountAndFileCountsAreWritten)
{
    // The file's own sourceCount does not widen the check, but the combination writes it.
    bus.Files().Write("geometry.json", "{ \"geometry\": { \"peakCount\": 3, \"sourceCount\": 12 } }");
    ExpectSucceededAndBackInNormalMode(RunCli({"-w", "geometry.json"}));
    const tnxp_serialization::Parameters* stored = StoredParameters();
    ASSERT_NE(stored, nullptr);
    ASSERT_NE(stored->geometry(), nullptr);
    EXPECT_EQ(stored->geometry()->peakCount(), 3);
    EXPECT_EQ(stored->geometry()->sourceCount(), 12);
    EXPECT_EQ(stored->geometry()->sensorCount(), 16);
}

TEST_F(ParameterCommandTest, ReadWithSchemaFileKeepsEveryField)
{
    ExpectSucceededAndBackInNormalMode(RunCli({"-r", "raw.json", SchemaFile()}));
    const std::string json = bus.Files().Read("raw.json");
    EXPECT_TRUE(Contains(json, "\"sourceCount\": 16")) << json;
    EXPECT_TRUE(Contains(json, "\"sensorCount\": 16")) << json;
    EXPECT_TRUE(Contains(json, "\"fingerFrequency\": 200")) << json;
}

TEST_F(ParameterCommandTest, WriteWithSchemaFileReplacesTheWholeArea)
{
    bus.Files().Write("raw.json", "{ \"fingerFrequency\": 300 }");
    ExpectSucceededAndBackInNormalMode(RunCli({"-w", "raw.json", SchemaFile()}));
    const tnxp_serialization::Parameters* stored = StoredParameters();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->fingerFrequency(), 300);
    EXPECT_EQ(stored->geometry(), nullptr);
    EXPECT_EQ(stored->deviceConfiguration(), nullptr);
}

// Schema statements ahead of the object would give the buffer another identifier, and the sensor's area would
// read back as corrupt.
TEST_F(ParameterCommandTest, JsonFileWithSchemaStatementsIsRefusedAndTheAreaKept)
{
    bus.Files().Write("identifier.json", "file_identifier \"ABCD\";\n{ \"fingerFrequency\": 300 }");
    ExpectFailedWith(RunCli({"-w", "identifier.json", SchemaFile()}), "Error: Failed to load json file.\n");
    ExpectParametersUnchanged();
    ExpectFailedWith(RunCli({"-w", "identifier.json"}), "Error: Failed to load json file.\n");
    ExpectParametersUnchanged();
    EXPECT_NE(StoredParameters(), nullptr);
}

TEST_F(ParameterCommandTest, OversizedBufferIsRefusedAndTheAreaKept)
{
    bus.Files().Write("big.fbs", "file_identifier \"QTXS\"; table Big { blob:[ubyte]; } root_type Big;");
    std::string json = "{ \"blob\": [";
    for (int i = 0; i < 3000; ++i) {
        json += (i == 0 ? "" : ", ") + std::to_string(i % 256);
    }
    bus.Files().Write("big.json", json + "] }");
    const ProgramRun run = RunCli({"-w", "big.json", "big.fbs"});
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(run.err.rfind("Error: ", 0), 0u) << run.err;
    EXPECT_EQ(run.exitCode, 255);
    ExpectParametersUnchanged();
}

TEST_F(ParameterCommandTest, FirmwareWithoutSchemaVersionIsRefusedAndTheSensorStaysInNormalMode)
{
    RunSim({"unplug", "--all"});
    const std::string old = Plug({"--schema", "none"});
    const ProgramRun run = RunCli({"-r", "params.json"});
    EXPECT_EQ(run.out, noSchemaVersionLine + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(ModeOf(old), "normal");
    EXPECT_FALSE(std::filesystem::exists(bus.File("params.json")));
}

TEST_F(ParameterCommandTest, NewerSchemaVersionIsRefusedAndTheSensorStaysInNormalMode)
{
    RunSim({"unplug", "--all"});
    const std::string newer = Plug({"--schema", "1.2"});
    bus.Files().Write("in.json", "{ \"fingerFrequency\": 1 }");
    const ProgramRun run = RunCli({"-w", "in.json"});
    EXPECT_EQ(run.out, outdatedProgramLine + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(ModeOf(newer), "normal");
}

TEST_F(ParameterCommandTest, SensorInConfigurationModeIsReadAfterTwoModeChanges)
{
    RunSim({"unplug", "--all"});
    serial = Plug({"--mode", "dfu", "--reenumerate-ms", "100"});
    ExpectSucceededAndBackInNormalMode(RunCli({"-r", "params.json"}));
    EXPECT_TRUE(Contains(bus.Files().Read("params.json"), "\"peakCount\": 8"));
}

// Leaving configuration mode fails while the device search runs: the command must end the search before the
// failure leaves it, or the program would abort when its model goes.
TEST_F(ParameterCommandTest, FailureWhileTheSearchRunsEndsCleanly)
{
    RunSim({"unplug", "--all"});
    serial = Plug({"--mode", "dfu"});
    RunSim({"fault", serial, "leave"});
    const ProgramRun run = RunCli({"-r", "params.json"});
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(run.err.rfind("Error: ", 0), 0u) << run.err;
    EXPECT_EQ(run.exitCode, 255);
}

TEST_F(ParameterCommandTest, SeveralSensorsNeedAnIndex)
{
    Plug();
    const ProgramRun run = RunCli({"-r", "params.json"});
    EXPECT_EQ(run.out,
              "No device index given and multiple device choices available. Please specify which device to work with "
              "by using --device <index>. Use --list to list connected devices.\n\n");
    EXPECT_EQ(run.err, "Error: Could not find device.\n");
    EXPECT_EQ(run.exitCode, 255);
    ExpectFailedWith(RunCli({"-d", "3", "-r", "params.json"}), "Error: Could not find device.\n");
}

TEST_F(ParameterCommandTest, UnloadableJsonLeavesTheAreaUntouched)
{
    bus.Files().Write("unknown.json", "{ \"fingerFrequency\": 210, \"noSuchField\": 1 }");
    ExpectFailedWith(RunCli({"-w", "unknown.json"}), "Error: Failed to load json file.\n");
    ExpectParametersUnchanged();
    RunSim({"unplug", "--all"});
    serial = Plug({"--reenumerate-ms", "100"});
    bus.Files().Write("type.json", "{ \"fingerFrequency\": \"fast\" }");
    ExpectFailedWith(RunCli({"-w", "type.json"}), "Error: Failed to load json file.\n");
    ExpectParametersUnchanged();
}

TEST_F(ParameterCommandTest, FolderInPlaceOfAJsonFile)
{
    std::filesystem::create_directory(bus.File("folder.json"));
    ExpectFailedWith(RunCli({"-w", "folder.json"}), "Error: Failed to load json file.\n");
    ExpectParametersUnchanged();
    RunSim({"unplug", "--all"});
    serial = Plug({"--reenumerate-ms", "100"});
    ExpectFailedWith(RunCli({"-r", "folder.json"}), "Error: Failed to write json file.\n");
}

TEST_F(ParameterCommandTest, PathsWithBlanksAndNonAsciiCharacters)
{
    const std::string subfolder = "my folder/ünïcødé";
    std::filesystem::create_directories(bus.File(subfolder));
    const std::string file = subfolder + "/paramètres 1.json";
    ExpectSucceededAndBackInNormalMode(RunCli({"-r", file}));
    EXPECT_TRUE(Contains(bus.Files().Read(file), "\"fingerFrequency\": 200"));
    ExpectSucceededAndBackInNormalMode(RunCli({"-w", file}));
    const tnxp_serialization::Parameters* stored = StoredParameters();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->fingerFrequency(), 200);
}

}  // namespace
