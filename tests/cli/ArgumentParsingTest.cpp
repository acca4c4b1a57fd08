#include "tests/cli/SimulatedBusTest.h"

#include <filesystem>

namespace {

class ArgumentParsingTest : public SimulatedBusTest {
protected:
    // A refused command line: the usage text, the error line, main's empty closing line, exit code -1.
    void ExpectRefused(const std::vector<std::string>& arguments, const std::string& errorLine)
    {
        const ProgramRun run = RunCli(arguments);
        EXPECT_EQ(run.out, Usage() + errorLine + "\n\n") << ArgumentsText(arguments);
        EXPECT_EQ(run.err, "") << ArgumentsText(arguments);
        EXPECT_EQ(run.exitCode, 255) << ArgumentsText(arguments);
    }

    // A command line that parses; with no sensor on the bus the selected command fails to find one.
    void ExpectAcceptedWithoutDevice(const std::vector<std::string>& arguments)
    {
        const ProgramRun run = RunCli(arguments);
        EXPECT_EQ(run.out, "\n") << ArgumentsText(arguments);
        EXPECT_EQ(run.err, "Error: Could not find device.\n") << ArgumentsText(arguments);
        EXPECT_EQ(run.exitCode, 255) << ArgumentsText(arguments);
    }

    void Touch(const std::string& name) { bus.Files().Write(name, "x"); }

    static std::string ArgumentsText(const std::vector<std::string>& arguments)
    {
        std::string text = "arguments:";
        for (const std::string& word : arguments) {
            text += " [" + word + "]";
        }
        return text;
    }
};

TEST_F(ArgumentParsingTest, NoArgumentsPrintsUsageAndSucceeds)
{
    const ProgramRun run = RunCli({});
    EXPECT_EQ(run.out, Usage() + "Operation succeeded\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(ArgumentParsingTest, HelpInBothFormsPrintsUsageAndSucceeds)
{
    for (const char* word : {"-h", "--help"}) {
        const ProgramRun run = RunCli({word});
        EXPECT_EQ(run.out, Usage() + "Operation succeeded\n") << word;
        EXPECT_EQ(run.err, "") << word;
        EXPECT_EQ(run.exitCode, 0) << word;
    }
}

TEST_F(ArgumentParsingTest, VersionInBothFormsPrintsTheProgramVersion)
{
    for (const char* word : {"-v", "--version"}) {
        const ProgramRun run = RunCli({word});
        EXPECT_EQ(run.out, "Tarnix Programmer version: 1.1.1.0\nOperation succeeded\n") << word;
        EXPECT_EQ(run.err, "") << word;
        EXPECT_EQ(run.exitCode, 0) << word;
    }
}

TEST_F(ArgumentParsingTest, SingleWordOptionsRefuseOtherWords)
{
    ExpectRefused({"-l", "-d", "2"}, "Error: -l may not be used with other arguments.");
    ExpectRefused({"-d", "2", "--list"}, "Error: --list may not be used with other arguments.");
    ExpectRefused({"--help", "-v"}, "Error: --help may not be used with other arguments.");
    ExpectRefused({"-v", "extra"}, "Error: -v may not be used with other arguments.");
    ExpectRefused({"--install", "-h"}, "Error: --install may not be used with other arguments.");
    ExpectRefused({"-d", "1", "-i"}, "Error: -i may not be used with other arguments.");
}

TEST_F(ArgumentParsingTest, DeviceOptionNeedsAnIndex)
{
    ExpectRefused({"--device"}, "Error: No device index given.");
    ExpectRefused({"-r", "out.json", "-d"}, "Error: No device index given.");
}

TEST_F(ArgumentParsingTest, DeviceIndexMustBeADecimalInt)
{
    ExpectRefused({"-d", "abc", "-r", "out.json"}, "Error: Invalid format on device index.");
    ExpectRefused({"-d", "2147483648", "-r", "out.json"}, "Error: Invalid format on device index.");
    ExpectRefused({"-d", "-99999999999", "-r", "out.json"}, "Error: Invalid format on device index.");
    ExpectRefused({"-d", "", "-r", "out.json"}, "Error: Invalid format on device index.");
    // The value is the next word, whatever it looks like.
    Touch("fw.hex");
    ExpectRefused({"-d", "-f", "fw.hex"}, "Error: Invalid format on device index.");
}

TEST_F(ArgumentParsingTest, DeviceIndexTakesTheLeadingNumber)
{
    ExpectAcceptedWithoutDevice({"-d", "2x", "-r", "out.json"});
    ExpectAcceptedWithoutDevice({"--device", " +3", "-r", "out.json"});
    ExpectAcceptedWithoutDevice({"-d", "0", "-r", "out.json"});
    ExpectAcceptedWithoutDevice({"-d", "-1", "-d", "2147483647", "-r", "out.json"});
}

TEST_F(ArgumentParsingTest, OverwriteOnlyWithFlash)
{
    ExpectRefused({"-r", "p.json", "-o"}, "Error: -o may only be specified with -f/--flash.");
    Touch("in.json");
    ExpectRefused({"-w", "in.json", "--overwrite"}, "Error: --overwrite may only be specified with -f/--flash.");
    Touch("fw.hex");
    ExpectAcceptedWithoutDevice({"-o", "-f", "fw.hex"});
    ExpectAcceptedWithoutDevice({"-f", "fw.hex", "--overwrite"});
}

TEST_F(ArgumentParsingTest, FlashNeedsAFileName)
{
    ExpectRefused({"-f"}, "Error: -f requires firmware file name.");
    ExpectRefused({"-d", "1", "--flash"}, "Error: --flash requires firmware file name.");
}

TEST_F(ArgumentParsingTest, FirmwareFileTypeIsCheckedCaseSensitively)
{
    for (const char* name : {"FW.HEX", "fw.Dfu", ".hex", "fw.bin", "fw.hex.txt"}) {
        Touch(name);
        ExpectRefused({"-f", name}, std::string("Error: Invalid file type ") + name + ". Expected .dfu/.hex.");
    }
}

TEST_F(ArgumentParsingTest, PathsLongerThan259CharactersAreRefused)
{
    const std::string longName(300, 'a');
    ExpectRefused({"-f", longName + ".hex"}, "Error: Too long path. Supports up to 259 characters.");
    ExpectRefused({"-r", longName + ".json"}, "Error: Too long path. Supports up to 259 characters.");
    ExpectRefused({"-w", longName + ".json"}, "Error: Too long path. Supports up to 259 characters.");
}

TEST_F(ArgumentParsingTest, FirmwareFileMustExist)
{
    ExpectRefused({"-f", "missing.hex"}, "Error: Invalid firmware path: missing.hex.");
    ExpectRefused({"--flash", "missing.dfu"}, "Error: Invalid firmware path: missing.dfu.");
}

TEST_F(ArgumentParsingTest, ParameterOptionsNeedAFileName)
{
    ExpectRefused({"-r"}, "Error: -r requires json file name.");
    ExpectRefused({"-d", "1", "--write"}, "Error: --write requires json file name.");
}

TEST_F(ArgumentParsingTest, ParameterFileTypeIsChecked)
{
    ExpectRefused({"-r", "out.txt"}, "Error: Invalid file type out.txt. Expected .json.");
    ExpectRefused({"--read", ".json"}, "Error: Invalid file type .json. Expected .json.");
    // The type is checked before existence.
    ExpectRefused({"-w", "PARAMS.JSON"}, "Error: Invalid file type PARAMS.JSON. Expected .json.");
}

TEST_F(ArgumentParsingTest, WriteFileMustExistReadFileNeedNot)
{
    ExpectRefused({"-w", "missing.json"}, "Error: Invalid json path: missing.json.");
    ExpectAcceptedWithoutDevice({"-r", "missing.json"});
    EXPECT_FALSE(std::filesystem::exists(bus.File("missing.json")));
}

TEST_F(ArgumentParsingTest, SchemaFileFollowsTheJsonFile)
{
    ExpectRefused({"-r", "out.json", "2"}, "Error: Invalid schema path: 2.");
    Touch("in.json");
    ExpectRefused({"-w", "in.json", "missing.fbs"}, "Error: Invalid schema path: missing.fbs.");
    Touch("schema.fbs");
    ExpectAcceptedWithoutDevice({"-r", "out.json", "schema.fbs"});
    // A word starting with '-' is the next option, not a schema file.
    ExpectAcceptedWithoutDevice({"-r", "out.json", "-d", "2"});
}

TEST_F(ArgumentParsingTest, UnknownWordsAreRefused)
{
    ExpectRefused({"--bogus"}, "Error: Unknown argument: --bogus.");
    ExpectRefused({"list"}, "Error: Unknown argument: list.");
    ExpectRefused({"-lv"}, "Error: Unknown argument: -lv.");
    ExpectRefused({"--device=2", "-r", "out.json"}, "Error: Unknown argument: --device=2.");
    ExpectRefused({"-L"}, "Error: Unknown argument: -L.");
}

TEST_F(ArgumentParsingTest, NothingSelectedIsRefused)
{
    ExpectRefused({"-d", "2"}, "Error: No operation selected.");
    ExpectRefused({"-o"}, "Error: No operation selected.");
}

TEST_F(ArgumentParsingTest, EveryWordIsCheckedEvenWhenALaterOperationWins)
{
    ExpectRefused({"-f", "missing.hex", "-r", "out.json"}, "Error: Invalid firmware path: missing.hex.");
    // Nothing after the failing word is looked at.
    ExpectRefused({"--bogus", "-f"}, "Error: Unknown argument: --bogus.");
}

TEST_F(ArgumentParsingTest, TheLastOperationRuns)
{
    // The read command refuses this sensor's firmware with its own line; a flash would not print it.
    Plug({"--schema", "none"});
    Touch("fw.hex");
    const ProgramRun run = RunCli({"-f", "fw.hex", "-r", "out.json"});
    EXPECT_EQ(run.out,
              "Error: This firmware does not have support for persistant parameters. Please update the firmware or "
              "leave configuration mode if applicable.\n\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 255);
}

}  // namespace
