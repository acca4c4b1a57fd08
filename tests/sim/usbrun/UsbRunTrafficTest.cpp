#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sensor/InformationAnswers.h"
#include "sim/bus/SensorStore.h"
#include "sim/bus/SimBus.h"
#include "sim/sensor/TextNumbers.h"
#include "tests/sim/usbrun/UsbRunSession.h"
#include "tests/support/SensorFlash.h"

namespace tarnix::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(UsbRunTraffic, AFeatureReportRoundTripIsAnsweredByTheSensor)
{
    UsbRunSession session;
    sim::SensorState prototype = SimulatedBus::QuickSensor();
    prototype.serial = "ROUND";
    prototype.product = "Round Trip";
    session.Bus().Plug(sim::SensorMode::Normal, prototype);
    const ToolRun run = session.Run("$PROBE hid-request /dev/hidraw0");
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const auto values = UsbRunSession::Values(run.out);
    EXPECT_EQ(values.at("set"), "OK");
    EXPECT_EQ(values.at("get"), "258");
    const auto state = sim::SensorStore(session.Bus().Folder()).Load("ROUND");
    ASSERT_TRUE(state);
    const Bytes expected = sim::InformationAnswers::Platform(*state);
    EXPECT_EQ(values.at("answer"), sim::TextNumbers::HexBytes(expected))
        << "the sensor's own BER answer, EF envelope first";
    EXPECT_EQ(values.at("answer").substr(0, 2), "EF");
    EXPECT_EQ(values.at("named"), "241:0") << "the node's status by path shows the device udev lists";
}

TEST(UsbRunTraffic, ADfuUploadReadsTheSensorsFlash)
{
    UsbRunSession session;
    const std::string serial = session.Bus().Plug(sim::SensorMode::Dfu);
    const Bytes pattern = sensor_flash::Pattern(3000, 7);
    session.Bus().Bus().WriteFlash(serial, sensor_flash::kParameters, pattern);
    const std::string copy = session.Bus().File("uploaded.bin");
    const ToolRun run = session.Run("$PROBE dfu-read /dev/bus/usb/001/002 0x08004000 3000 " + copy);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const auto values = UsbRunSession::Values(run.out);
    ASSERT_EQ(values.count("layout"), 1u) << run.out;
    EXPECT_EQ(values.at("disconnect"), "ENODATA") << "no kernel driver holds the DFU interface";
    EXPECT_EQ(values.at("claim"), "OK");
    EXPECT_EQ(values.at("layout"), "@Internal Flash  /0x08000000/64*002Kg");
    const Bytes uploaded = session.Bus().Files().ReadBytes("uploaded.bin");
    EXPECT_EQ(uploaded, session.Bus().ReadFlash(serial, sensor_flash::kParameters, 3000));
    EXPECT_EQ(uploaded, pattern);
}

TEST(UsbRunTraffic, TheSensorsRefusalsAndFaultsReachTheProgram)
{
    UsbRunSession session;
    const std::string refusing = session.Bus().Plug(sim::SensorMode::Dfu);
    session.Bus().Bus().SetFault(refusing, sim::Fault::Upload);
    const std::string unopenable = session.Bus().Plug(sim::SensorMode::Dfu);
    session.Bus().Bus().SetFault(unopenable, sim::Fault::Open);
    const ToolRun run = session.Run(
        "$PROBE dfu-read /dev/bus/usb/001/002 0x08000000 16 /dev/null; echo refused=$?; "
        "$PROBE dfu-read /dev/bus/usb/001/003 0x08000000 16 /dev/null; echo unopened=$?");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string& out = run.out;
    EXPECT_NE(out.find("read=EPIPE\nrefused=1"), std::string::npos) << out;
    EXPECT_NE(out.find("claim=EBUSY\nunopened=1"), std::string::npos) << out;
}

TEST(UsbRunTraffic, ASwitchToDfuModeReplacesTheHidDevicesAndLeavingItBringsNewOnes)
{
    UsbRunSession session;
    sim::SensorState prototype = SimulatedBus::QuickSensor();
    prototype.reenumerateMs = 300;
    session.Bus().Plug(sim::SensorMode::Normal, prototype);
    const std::string port = UsbRunSession::PortPath(1);
    const std::string firstHid = port + "/1-1:1.0/0003:3C9E:0101.0001";
    // The device on the port appears before its interface, HID device and hidraw node, as on a real bus:
    // each listing waits for the whole tree it is checked against.
    const ToolRun run = session.Run("$PROBE hid-switch /dev/hidraw0 && $PROBE wait-gone " + firstHid +
                                    " 2000 && echo hid=gone && "
                                    "$PROBE wait-device 0483 df11 5000 && $PROBE wait-tree " +
                                    port +
                                    " 2 5000 && $PROBE devices && "
                                    "$PROBE dfu-leave /dev/bus/usb/001/003 && "
                                    "$PROBE wait-device 3c9e 0101 5000 && $PROBE wait-tree " +
                                    port + " 4 5000 && $PROBE devices");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const std::string dfuPart = run.out.substr(0, run.out.find("leave="));
    const auto dfu = UsbRunSession::Values(dfuPart);
    EXPECT_EQ(dfu.at("switch"), "2");
    EXPECT_EQ(dfu.at("hid"), "gone");
    EXPECT_EQ(dfu.at("node"), "/dev/bus/usb/001/003") << "a new device number";
    EXPECT_GE(std::stoll(dfu.at("found_at")) - std::stoll(dfu.at("sent_at")), 300)
        << "the bootloader shows only after the re-enumeration delay";
    const auto dfuDevices = UsbRunSession::Devices(dfuPart);
    EXPECT_EQ(dfuDevices.at(port),
              (std::vector<std::string>{"usb", "usb_device", "/dev/bus/usb/001/003", "189:2", "1"}))
        << "same port";
    EXPECT_EQ(dfuDevices.size(), 3u) << "the root hub and the bootloader's two devices";

    const std::string normalPart = run.out.substr(run.out.find("leave="));
    EXPECT_EQ(UsbRunSession::Values(normalPart).at("node"), "/dev/bus/usb/001/004");
    const auto normalDevices = UsbRunSession::Devices(normalPart);
    EXPECT_EQ(normalDevices.count(port + "/1-1:1.0/0003:3C9E:0101.0002/hidraw/hidraw1"), 1u)
        << "the HID device counter and the hidraw node move on";
    EXPECT_EQ(normalDevices.size(), 5u);
}

TEST(UsbRunTraffic, SensorsPluggedAndUnpluggedWhileTheCommandRunsComeAndGo)
{
    UsbRunSession session;
    const std::string port = UsbRunSession::PortPath(1);
    const ToolRun run = session.Run(
        "$SIM plug --serial EARLY >/dev/null && $PROBE wait-device 3c9e 0101 3000 && "
        "$SIM unplug EARLY && $PROBE wait-gone " +
        port +
        " 3000 && echo gone=yes && "
        "$SIM plug --serial LATE >/dev/null && $PROBE wait-device 3c9e 0101 3000 && "
        "$PROBE wait-tree " +
        port + " 4 3000 && $PROBE devices");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(UsbRunSession::Values(run.out).at("gone"), "yes");
    EXPECT_EQ(UsbRunSession::Values(run.out).at("node"), "/dev/bus/usb/001/003");
    const auto devices = UsbRunSession::Devices(run.out);
    EXPECT_EQ(devices.count(port + "/1-1:1.0/0003:3C9E:0101.0002/hidraw/hidraw1"), 1u)
        << "the free port again, with the next HID device and hidraw numbers";
    EXPECT_EQ(devices.size(), 5u);
}

TEST(UsbRunTraffic, TheNodesOfAnUnpluggedSensorAnswerNoDevice)
{
    UsbRunSession session;
    const std::string hidSensor = session.Bus().Plug(sim::SensorMode::Normal);
    const std::string dfuSensor = session.Bus().Plug(sim::SensorMode::Dfu);
    const ToolRun run = session.Run("$PROBE hold hid /dev/hidraw0 \"$SIM unplug " + hidSensor + "\"; " +
                                    "$PROBE hold dfu /dev/bus/usb/001/003 \"$SIM unplug " + dfuSensor + "\"");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "before=OK\ncommand=0\nafter=ENODEV\nreopen=ENOENT\n"
              "disconnect=ENODATA\nclaim=OK\nbefore=OK\ncommand=0\nafter=ENODEV\nreopen=ENOENT\n");
}

}  // namespace
}  // namespace tarnix::test
