#include "tests/cli/SimulatedBusTest.h"

#include <map>
#include <sstream>
#include <vector>

namespace {

const std::string overwriteRefusal =
    "Error: This firmware will overwrite parameters. Use the --overwrite in order to flash this firmware.\n";

class FlashCommandTest : public SimulatedBusTest {
protected:
    std::string MakeFirmware(const std::string& version, const std::string& name,
                             const std::vector<std::string>& options = {})
    {
        std::vector<std::string> arguments{"make-firmware", "--version", version, "-o", bus.File(name)};
        arguments.insert(arguments.end(), options.begin(), options.end());
        RunSim(arguments);
        return name;
    }

    // "Start flashing...", then percentages over one line (each differing from the one before, at least one),
    // then the outcome on a fresh line.
    static void ExpectFlashOutput(const std::string& out, const std::string& outcome)
    {
        const std::string start = "Start flashing...\n";
        ASSERT_EQ(out.rfind(start, 0), 0u) << out;
        ASSERT_GE(out.size(), start.size() + outcome.size());
        ASSERT_EQ(out.substr(out.size() - outcome.size()), outcome) << out;
        std::istringstream progress(out.substr(start.size(), out.size() - start.size() - outcome.size()));
        int count = 0;
        int previous = -1;
        char carriageReturn = 0;
        int percent = 0;
        char percentSign = 0;
        while (progress >> std::noskipws >> carriageReturn >> percent >> percentSign) {
            EXPECT_EQ(carriageReturn, '\r');
            EXPECT_EQ(percentSign, '%');
            EXPECT_GE(percent, 0);
            EXPECT_LE(percent, 100);
            EXPECT_NE(percent, previous);
            previous = percent;
            ++count;
        }
        EXPECT_TRUE(progress.eof()) << "unexpected text in the progress: " << out;
        EXPECT_GE(count, 1) << out;
    }

    void ExpectListedFirmware(const std::string& serial, const std::string& version)
    {
        ASSERT_TRUE(WaitForMode(serial, "normal"));
        const ProgramRun list = RunCli({"-l"});
        EXPECT_NE(list.out.find("Firmware Version: " + version + "   MCU"), std::string::npos) << list.out;
    }
};

TEST_F(FlashCommandTest, HexImageOnASensorInNormalMode)
{
    const std::string serial = Plug({"--page-ms", "10", "--reenumerate-ms", "100"});
    const ProgramRun run = RunCli({"-f", MakeFirmware("2.5", "fw.hex")});
    ExpectFlashOutput(run.out, "\nFlashing complete.\nOperation succeeded\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
    ExpectListedFirmware(serial, "2.5");
}

TEST_F(FlashCommandTest, DfuImageOnASensorAlreadyInConfigurationMode)
{
    const std::string serial = Plug({"--mode", "dfu", "--page-ms", "10", "--reenumerate-ms", "100"});
    const ProgramRun run = RunCli({"--flash", MakeFirmware("2.6", "fw.dfu")});
    ExpectFlashOutput(run.out, "\nFlashing complete.\nOperation succeeded\n");
    EXPECT_EQ(run.exitCode, 0);
    ExpectListedFirmware(serial, "2.6");
}

TEST_F(FlashCommandTest, ImageWithParametersNeedsOverwrite)
{
    const std::string serial = Plug({"--page-ms", "5", "--reenumerate-ms", "100"});
    const std::vector<unsigned char> before = ReadParameterArea(serial);
    std::vector<unsigned char> parameters(2048);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        parameters[i] = static_cast<unsigned char>(i * 7 + 1);
    }
    bus.Files().Write("params.bin", parameters);
    const std::string image = MakeFirmware("2.7", "fw.hex", {"--params", bus.File("params.bin")});

    const ProgramRun refused = RunCli({"-f", image});
    EXPECT_EQ(refused.out, overwriteRefusal + "\n");
    EXPECT_EQ(refused.err, "");
    EXPECT_EQ(refused.exitCode, 255);
    EXPECT_EQ(ModeOf(serial), "dfu");  // left in configuration mode
    EXPECT_EQ(ReadParameterArea(serial), before);

    const ProgramRun allowed = RunCli({"-f", image, "-o"});
    ExpectFlashOutput(allowed.out, "\nFlashing complete.\nOperation succeeded\n");
    EXPECT_EQ(allowed.exitCode, 0);
    EXPECT_EQ(ReadParameterArea(serial), parameters);
    ExpectListedFirmware(serial, "2.7");
}

TEST_F(FlashCommandTest, ImageThatLeavesTheParametersAloneNeedsNoOverwrite)
{
    const std::string serial = Plug({"--page-ms", "5", "--reenumerate-ms", "100"});
    const std::vector<unsigned char> before = ReadParameterArea(serial);
    const ProgramRun run = RunCli({"-f", MakeFirmware("3.0", "fw.hex")});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(ReadParameterArea(serial), before);
}

TEST_F(FlashCommandTest, FailingWriteIsReported)
{
    const std::string serial = Plug({"--page-ms", "10", "--reenumerate-ms", "100"});
    RunSim({"fault", serial, "program"});
    const ProgramRun run = RunCli({"-f", MakeFirmware("2.5", "fw.hex")});
    ExpectFlashOutput(run.out, "\nError: Flashing failed.\n\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 255);
}

TEST_F(FlashCommandTest, UnreadableImageFailsTheCheckInConfigurationMode)
{
    const std::string serial = Plug({"--reenumerate-ms", "100"});
    bus.Files().Write("broken.hex", "this is no hex file\n");
    const ProgramRun run = RunCli({"-f", "broken.hex"});
    EXPECT_EQ(run.out, "Error: Failed firmware check.\n\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(ModeOf(serial), "dfu");
}

TEST_F(FlashCommandTest, IncompatibleDriversStopTheFlash)
{
    const std::string serial = Plug();
    Plug({"--mode", "dfu", "--driver", "incompatible"});
    const ProgramRun run = RunCli({"-f", MakeFirmware("2.5", "fw.hex")});
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(run.err.rfind("Error: Incompatible DFU drivers found.", 0), 0u) << run.err;
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(ModeOf(serial), "normal");
}

TEST_F(FlashCommandTest, SensorThatDoesNotComeBackInConfigurationMode)
{
    // Re-enumeration slower than the 4 s wait.
    Plug({"--reenumerate-ms", "6000"});
    const ProgramRun run = RunCli({"-f", MakeFirmware("2.5", "fw.hex")});
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(run.err, "Error: Failed getting the configuration handle.\n");
    EXPECT_EQ(run.exitCode, 255);
}

// The chosen sensor in normal mode beside sensors that are already in configuration mode and sort before it
// by name; the listing numbers only one of those, the others enter the registry while the tool waits for
// the chosen sensor to switch. Only the chosen sensor may be flashed.
TEST_F(FlashCommandTest, ChosenSensorIsFlashedNeverOneAlreadyInConfigurationMode)
{
    const std::string chosen = Plug({"--serial", "S1", "--page-ms", "10", "--reenumerate-ms", "100"});
    std::map<std::string, std::vector<unsigned char>> flashOf;
    for (const char* serial : {"D2", "D3", "D4"}) {
        Plug({"--serial", serial, "--mode", "dfu", "--page-ms", "0", "--reenumerate-ms", "0"});
        flashOf[serial] = ReadFlash(serial, tarnix::sim::kFlashBase, tarnix::sim::kFlashSize);
        ASSERT_EQ(flashOf[serial].size(), tarnix::sim::kFlashSize);
    }

    const ProgramRun run = RunCli({"-d", "1", "-f", MakeFirmware("9.7", "fw.dfu")});
    ExpectFlashOutput(run.out, "\nFlashing complete.\nOperation succeeded\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
    ExpectListedFirmware(chosen, "9.7");
    for (const auto& [serial, flash] : flashOf) {
        EXPECT_EQ(ModeOf(serial), "dfu") << serial;
        EXPECT_TRUE(ReadFlash(serial, tarnix::sim::kFlashBase, tarnix::sim::kFlashSize) == flash)
            << serial << " was written";
    }
}

}  // namespace
