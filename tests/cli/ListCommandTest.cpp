#include "tests/cli/SimulatedBusTest.h"

#include <algorithm>
#include <iostream>
#include <sstream>

namespace {

// Instrumented builds run several times slower; the plain build is held to the real limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double listLimitMs = 1000.0;
#else
constexpr double listLimitMs = 200.0;
#endif

const char* const incompatibleDriversError =
    "Error: Incompatible DFU drivers found. Please install compatible drivers while sensor is connected and in "
    "configuration mode using --install or run the installer and use the repair function. Administrator rights "
    "needed.\n";

class ListCommandTest : public SimulatedBusTest {
protected:
    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        std::istringstream stream(text);
        std::string line;
        while (std::getline(stream, line)) {
            lines.push_back(line);
        }
        return lines;
    }

    static std::string SensorLine(int index, const std::string& product, const std::string& firmware,
                                  const std::string& mcu)
    {
        return std::to_string(index) + ". " + product + "   Firmware Version: " + firmware +
               "   MCU identifier: " + mcu;
    }
};

TEST_F(ListCommandTest, NoDeviceConnected)
{
    const ProgramRun run = RunCli({"-l"});
    EXPECT_EQ(run.out, "No devices found.\nOperation succeeded\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(ListCommandTest, OneSensorShowsWhatItReports)
{
    Plug({"--mcu", "0a1b2c3d4e5f", "--firmware", "3.17", "--product", "Tarnix TS-210"});
    const ProgramRun run = RunCli({"--list"});
    EXPECT_EQ(run.out,
              "Devices:\n" + SensorLine(1, "Tarnix TS-210", "3.17", "0A1B2C3D4E5F") + "\nOperation succeeded\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
}

// Every top-level collection of the sensor's HID report descriptor is an interface of its own: a digitizer
// collection before the configuration collection does not hide the sensor, whose reports here are shorter
// than the 258 bytes the tool reads; a device with the digitizer collection alone is no sensor.
TEST_F(ListCommandTest, TheConfigurationCollectionIsFoundBehindADigitizerCollection)
{
    Plug({"--mcu", "0a1b2c3d4e5f", "--collections", "0x0D:0x04,config/200"});
    const ProgramRun run = RunCli({"--list"});
    EXPECT_EQ(run.out,
              "Devices:\n" + SensorLine(1, "Tarnix TS-200", "2.4", "0A1B2C3D4E5F") + "\nOperation succeeded\n");
    EXPECT_EQ(run.exitCode, 0);

    Plug({"--collections", "0x0D:0x04"});
    const ProgramRun again = RunCli({"--list"});
    EXPECT_EQ(again.out, run.out) << "the digitizer alone is not listed";
}

TEST_F(ListCommandTest, OneResponsiveSensorIsListedQuickly)
{
    Plug();
    RunCli({"-l"});  // the first run loads the libraries from disk into the cache
    const double harness = HarnessMilliseconds();
    const double quickest = QuickestOf([&] { return RunCli({"-l"}); });
    EXPECT_LT(quickest - harness, listLimitMs) << "the list of one answering sensor took at least " << quickest
                                               << " ms, of which " << harness << " ms for the emulated devices";
    std::cout << "[ measured ] -l with one sensor: " << quickest - harness << " ms\n";
}

TEST_F(ListCommandTest, SensorsComeBeforeTheDeviceInConfigurationMode)
{
    const std::string dfu = Plug({"--mode", "dfu"});
    Plug({"--mcu", "01", "--firmware", "2.4"});
    const ProgramRun run = RunCli({"-l"});
    EXPECT_EQ(run.out, "Devices:\n" + SensorLine(1, "Tarnix TS-200", "2.4", "01") +
                           "\n2. Device In Configuration Mode   Unique Address: " + DeviceNameOf(dfu) +
                           "\nOperation succeeded\n");
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(ListCommandTest, TwoSensorsAreNumberedOneAndTwo)
{
    Plug({"--mcu", "AA"});
    Plug({"--mcu", "BB"});
    const std::vector<std::string> lines = Lines(RunCli({"-l"}).out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Devices:");
    std::vector<std::string> sensors{lines[1], lines[2]};
    // Numbers follow the order of discovery; which sensor comes first is the bus's business.
    const bool aaFirst = sensors[0].find("AA") != std::string::npos;
    EXPECT_EQ(sensors[0], SensorLine(1, "Tarnix TS-200", "2.4", aaFirst ? "AA" : "BB"));
    EXPECT_EQ(sensors[1], SensorLine(2, "Tarnix TS-200", "2.4", aaFirst ? "BB" : "AA"));
    EXPECT_EQ(lines[3], "Operation succeeded");
}

TEST_F(ListCommandTest, OnlyOneDeviceInConfigurationModeIsListed)
{
    const std::string first = Plug({"--mode", "dfu"});
    const std::string second = Plug({"--mode", "dfu"});
    const std::vector<std::string> lines = Lines(RunCli({"-l"}).out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Devices:");
    const std::string prefix = "1. Device In Configuration Mode   Unique Address: ";
    EXPECT_TRUE(lines[1] == prefix + DeviceNameOf(first) || lines[1] == prefix + DeviceNameOf(second)) << lines[1];
    EXPECT_EQ(lines[2], "Operation succeeded");
}

TEST_F(ListCommandTest, SilentSensorShowsZeroVersionAndNoIdentifier)
{
    Plug({"--silent"});
    const ProgramRun run = RunCli({"-l"});
    // A sensor that does not answer has no product text either: four blanks follow the full stop.
    EXPECT_EQ(run.out, "Devices:\n1.    Firmware Version: 0.0   MCU identifier: \nOperation succeeded\n");
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(ListCommandTest, IncompatibleDriverFailsTheWholeList)
{
    Plug();
    Plug({"--mode", "dfu", "--driver", "incompatible"});
    const ProgramRun run = RunCli({"-l"});
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(run.err, incompatibleDriversError);
    EXPECT_EQ(run.exitCode, 255);
}

TEST_F(ListCommandTest, SensorThatCannotBeOpenedFailsTheList)
{
    Plug({"--open-fails"});
    const ProgramRun run = RunCli({"-l"});
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(run.err, "Error: Found device but could not retrieve device handle.\n");
    EXPECT_EQ(run.exitCode, 255);
}

}  // namespace
