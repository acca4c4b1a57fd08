#include "cli/Cli.h"
#include "core/TpError.h"
#include "tests/cli/SimulatedBusTest.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// The handlers run in this process on a Cli of their own; the bus folder of the fixture keeps the Cli's model
// away from any other bus.
class EventHandlerTest : public SimulatedBusTest {
protected:
    std::string OutputOf(const std::function<void(Cli&)>& events)
    {
        Cli cli;
        ::testing::internal::CaptureStdout();
        events(cli);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(EventHandlerTest, ProgressPrintsEachNewValueOverOneLine)
{
    EXPECT_EQ(OutputOf([](Cli& cli) {
                  cli.OnUpdateProgress(5);
                  cli.OnUpdateProgress(5);
                  cli.OnUpdateProgress(6);
                  cli.OnUpdateProgress(37);
              }),
              "\r5%\r6%\r37%");
}

TEST_F(EventHandlerTest, ProgressStopsAfterHundred)
{
    EXPECT_EQ(OutputOf([](Cli& cli) {
                  for (int percent : {99, 100, 100, 0, 50}) {
                      cli.OnUpdateProgress(percent);
                  }
              }),
              "\r99%\r100%");
}

TEST_F(EventHandlerTest, ProgressMayGoBackBeforeHundred)
{
    EXPECT_EQ(OutputOf([](Cli& cli) {
                  for (int percent : {40, 20, 40}) {
                      cli.OnUpdateProgress(percent);
                  }
              }),
              "\r40%\r20%\r40%");
}

TEST_F(EventHandlerTest, OutcomeLinesStartOnAFreshLine)
{
    EXPECT_EQ(OutputOf([](Cli& cli) {
                  cli.OnUpdateProgress(42);
                  cli.OnWriteFirmwareFinished();
              }),
              "\r42%\nFlashing complete.\n");
    EXPECT_EQ(OutputOf([](Cli& cli) {
                  cli.OnUpdateProgress(42);
                  cli.OnWriteFirmwareFailed();
              }),
              "\r42%\nError: Flashing failed.\n");
}

// The progress thread may report a value it read before the write ended after the write thread has already
// printed the outcome; that value must not trail the outcome line.
TEST_F(EventHandlerTest, NoPercentageFollowsTheOutcomeLine)
{
    EXPECT_EQ(OutputOf([](Cli& cli) {
                  cli.OnUpdateProgress(93);
                  cli.OnWriteFirmwareFinished();
                  cli.OnUpdateProgress(0);
              }),
              "\r93%\nFlashing complete.\n");
    EXPECT_EQ(OutputOf([](Cli& cli) {
                  cli.OnUpdateProgress(42);
                  cli.OnWriteFirmwareFailed();
                  cli.OnUpdateProgress(50);
              }),
              "\r42%\nError: Flashing failed.\n");
}

TEST_F(EventHandlerTest, FirmwareCheckFailuresPrintTheirLines)
{
    EXPECT_EQ(OutputOf([](Cli& cli) { cli.OnBadFirmwareFile(); }), "Error: Bad firmware file.\n");
    EXPECT_EQ(OutputOf([](Cli& cli) { cli.OnFailedFirmwareFileCheck(); }), "Error: Failed firmware check.\n");
}

// Without --overwrite an image that reaches the parameter area is refused and no thread is started: a started
// write thread that nobody joins would end the process when the Cli goes.
TEST_F(EventHandlerTest, ImageOverwritingParametersIsRefusedWithoutOverwrite)
{
    std::string path = bus.File("fw.hex");
    EXPECT_EQ(OutputOf([&path](Cli& cli) { cli.OnFirmwareFileChecked(true, path); }),
              "Error: This firmware will overwrite parameters. Use the --overwrite in order to flash this "
              "firmware.\n");
}

TEST_F(EventHandlerTest, SearchAndLeaveEventsPrintNothing)
{
    EXPECT_EQ(OutputOf([](Cli& cli) {
                  TpError::FailedToGetDeviceHandle error;
                  cli.OnNewDevice("name", "description", false);
                  cli.OnNewDevice("dfu", "Device In Configuration Mode", true);
                  cli.OnDeviceDisconnected("name");
                  cli.OnErrorConnectingToDevice(error);
                  cli.OnLeaveDfuModeResult(false);
                  cli.OnLeaveDfuModeResult(true);
                  cli.OnIncompatibleDfuDrivers();
              }),
              "");
}

}  // namespace
