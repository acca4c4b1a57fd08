#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sim/bus/SimBus.h"
#include "tests/sim/usbrun/UsbRunSession.h"

namespace tarnix::test {
namespace {

std::string ShippedRule()
{
    return (TestBinaryFolder() / "Drivers/STtube_DFU_Drivers/70-tarnix-sensors.rules").string();
}

// The installer finds usb-run's stand-in root, installs its copy of the rule there and triggers the sensor's
// and the bootloader's devices, the sensor's hidraw node included; the double's trigger then gives the DFU
// device the driver property.
TEST(UsbRunInstaller, TheInstalledRuleGivesAnIncompatibleDfuDeviceTheDriverProperty)
{
    UsbRunSession session;
    sim::SensorState prototype = SimulatedBus::QuickSensor();
    prototype.driver = sim::DriverKind::Incompatible;
    const std::string serial = session.Bus().Plug(sim::SensorMode::Dfu, prototype);
    session.Bus().Plug(sim::SensorMode::Normal, SimulatedBus::QuickSensor());
    const ToolRun run = session.Run(
        "$PROBE devices; udevadm=\"$TARNIX_UDEV_ROOT/usr/bin/udevadm\"; \"$udevadm\" trigger; echo early_trigger=$?; "
        ": >\"$TARNIX_UDEV_ROOT/udevadm.log\"; "
        "\"$INSTALLER\" /F /SW /SA; echo installer=$?; "
        "$PROBE wait-property /dev/bus/usb/001/002 3000; "
        "tail -n +2 \"$TARNIX_UDEV_ROOT/etc/udev/rules.d/70-tarnix-sensors.rules\" | cmp - " +
        ShippedRule() +
        " && echo rule=installed; "
        "sed 's/^/call=/' \"$TARNIX_UDEV_ROOT/udevadm.log\"; ls /sys/class/hidraw | sed 's/^/hidraw=/'");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const auto before = UsbRunSession::Devices(run.out);
    EXPECT_EQ(before.at(UsbRunSession::PortPath(1)).at(4), "-") << "no property before the installer ran";
    const auto values = UsbRunSession::Values(run.out);
    EXPECT_EQ(values.at("early_trigger"), "1") << "the udevadm double refuses while the rule is missing";
    EXPECT_NE(run.err.find("the sensor rule is not installed"), std::string::npos) << run.err;
    EXPECT_EQ(values.at("installer"), "0");
    EXPECT_EQ(values.at("property"), "1");
    EXPECT_EQ(values.at("rule"), "installed");
    EXPECT_EQ(session.Bus().Listing(serial)->driver, sim::DriverKind::Ok);

    std::vector<std::string> calls;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("call=", 0) == 0) {
            calls.push_back(line.substr(5));
        }
    }
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "control --reload-rules",
                         "trigger --action=change --attr-match=idVendor=3c9e --attr-match=idProduct=0101",
                         "trigger --action=change --attr-match=idVendor=0483 --attr-match=idProduct=df11",
                         "trigger --action=change /sys/class/hidraw/" + values.at("hidraw")}))
        << run.out;
}

// The command-line tool runs the installer on its own console and waits for it: the driver is there when the
// tool has ended, and a failure of the installer is told on the tool's standard error, while the tool's own
// answer stays that the installer was started.
TEST(UsbRunInstaller, TheCommandLineToolWaitsForTheInstallerAndShowsItsFailure)
{
    UsbRunSession session;
    sim::SensorState prototype = SimulatedBus::QuickSensor();
    prototype.driver = sim::DriverKind::Incompatible;
    session.Bus().Plug(sim::SensorMode::Dfu, prototype);
    const std::string cli = ShellQuoted((TestBinaryFolder() / "TarnixProgrammer_CLI").string());
    const std::string blocked = "\"$TARNIX_UDEV_ROOT/etc/udev/rules.d/70-tarnix-sensors.rules\"";

    const ToolRun failing = session.Run("mkdir " + blocked + " && " + cli + " -i");
    EXPECT_EQ(failing.exitCode, 0) << failing.err;
    EXPECT_EQ(failing.out, "Operation succeeded\n");
    EXPECT_NE(failing.err.find("Driver installer: could not write"), std::string::npos) << failing.err;
    EXPECT_NE(failing.err.find("Driver installer: the DFU driver (the udev rule 70-tarnix-sensors.rules) was not "
                               "installed."),
              std::string::npos)
        << failing.err;

    // The trigger has run when the tool ends; udev (here the mirror of the bus) applies it a moment later.
    const ToolRun working = session.Run(cli + " -i && $PROBE wait-property /dev/bus/usb/001/002 3000");
    ASSERT_EQ(working.exitCode, 0) << working.err;
    EXPECT_EQ(working.err, "");
    EXPECT_EQ(UsbRunSession::Values(working.out).at("property"), "1") << working.out;
}

}  // namespace
}  // namespace tarnix::test
