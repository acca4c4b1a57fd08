#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sensor/InformationAnswers.h"
#include "sim/bus/SensorStore.h"
#include "sim/sensor/TextNumbers.h"
#include "tests/sim/usbrun/UsbRunSession.h"
#include "tests/support/HidReportLayout.h"

// A sensor whose HID report descriptor holds several top-level collections, mirrored by usb-run: one hidraw
// node with all of them, and the node answers as the kernel does.
namespace tarnix::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

sim::SensorState DigitizerFirst(std::uint16_t featureBytes)
{
    sim::SensorState prototype = SimulatedBus::QuickSensor();
    prototype.serial = "MULTI";
    prototype.collections = {sim::SensorCollection{false, 0x000D, 0x0004, 0},
                             sim::SensorCollection{true, 0, 0, featureBytes}};
    return prototype;
}

TEST(UsbRunCollections, TheReportDescriptorInSysfsHoldsEveryCollection)
{
    UsbRunSession session;
    session.Bus().Plug(sim::SensorMode::Normal, DigitizerFirst(160));
    const std::string hid = UsbRunSession::PortPath(1) + "/1-1:1.0/0003:3C9E:0101.0001";
    const ToolRun run = session.Run("printf 'report_descriptor='; od -An -v -tx1 " + hid +
                                    "/report_descriptor | tr -d ' \\n'; echo; ls /sys/class/hidraw | wc -l");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto values = UsbRunSession::Values(run.out);
    const auto bytes = sim::TextNumbers::ParseHexBytes(values.at("report_descriptor"));
    ASSERT_TRUE(bytes) << run.out;
    const std::vector<ReportLayout> layouts = ParseTopLevelCollections(*bytes);
    ASSERT_EQ(layouts.size(), 2u);
    EXPECT_EQ(layouts[0].usagePage, 0x000Du);
    EXPECT_EQ(layouts[0].usage, 0x0004u);
    EXPECT_EQ(layouts[1].usagePage, 0xFF00u);
    EXPECT_EQ(layouts[1].usage, 0x0001u);
    EXPECT_EQ(layouts[1].featureBits, (std::map<int, std::uint32_t>{{0x01, 1280}, {0x02, 1280}, {0x80, 1280}}));
    EXPECT_NE(run.out.find("\n1\n"), std::string::npos) << "one hidraw node for all collections\n" << run.out;
}

TEST(UsbRunCollections, AShortReportAndAStallComeBackAsTheKernelGivesThem)
{
    UsbRunSession session;
    session.Bus().Plug(sim::SensorMode::Normal, DigitizerFirst(160));
    const ToolRun run = session.Run(
        "$PROBE hid-request /dev/hidraw0 | grep '^get=\\|^answer='; $PROBE hid-get /dev/hidraw0 2 258; "
        "$PROBE hid-get /dev/hidraw0 0x10 9 | sed 's/^/digitizer_/'; "
        "$PROBE hid-get /dev/hidraw0 0x33 258 | sed 's/^/unknown_/'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto values = UsbRunSession::Values(run.out);
    EXPECT_EQ(values.at("get"), "161") << "the report ID and the 160 bytes of the sensor's report";
    EXPECT_EQ(values.at("got"), "161");
    EXPECT_EQ(values.at("kept"), "97") << "the kernel leaves the rest of the buffer alone";
    const auto state = sim::SensorStore(session.Bus().Folder()).Load("MULTI");
    ASSERT_TRUE(state);
    const Bytes answer = sim::InformationAnswers::Platform(*state);
    EXPECT_EQ(values.at("answer"), sim::TextNumbers::HexBytes(answer)) << "the answer fits the shorter report";
    EXPECT_EQ(values.at("report"), "02" + std::string(320, '0')) << "a fresh open has no answer waiting";
    EXPECT_EQ(values.at("digitizer_got"), "EPIPE") << "0x10 is an input report: no feature report to read";
    EXPECT_EQ(values.at("unknown_got"), "EPIPE") << "a report ID the sensor does not have is stalled";
}

}  // namespace
}  // namespace tarnix::test
