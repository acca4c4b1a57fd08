#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/SimBus.h"
#include "tests/sim/usbrun/UsbRunSession.h"

namespace tarnix::test {
namespace {

std::string ShippedRule() {
    return (TestBinaryFolder() / "Drivers/STtube_DFU_Drivers/70-tarnix-sensors.rules").string();
}

TEST(UsbRunInstaller, TheInstalledRuleGivesAnIncompatibleDfuDeviceTheDriverProperty) {
    UsbRunSession session;
    sim::SensorState prototype = SimulatedBus::QuickSensor();
    prototype.driver = sim::DriverKind::Incompatible;
    const std::string serial = session.Bus().Plug(sim::SensorMode::Dfu, prototype);
    const ToolRun run = session.Run(
        "$PROBE devices; \"$TARNIX_UDEVADM\" trigger; echo early_trigger=$?; "
        "\"$INSTALLER\" /F /SW /SA; echo installer=$?; "
        "$PROBE wait-property /dev/bus/usb/001/002 3000; "
        "cmp \"$TARNIX_UDEV_RULES_DIR/70-tarnix-sensors.rules\" " + ShippedRule() + " && echo rule=installed");
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
}

// The installer run by a user re-runs itself through pkexec with the rule folder and udevadm as arguments,
// and works in the cleared environment pkexec gives it.
TEST(UsbRunInstaller, AUserRunsTheInstallerThroughPkexec) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the installer as another user";
    }
    SimulatedBus bus;
    const std::string rules = bus.File("rules.d");
    ASSERT_EQ(::mkdir(rules.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(rules.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(bus.Files().Path().c_str(), 0755), 0);
    const std::string log = bus.File("calls.log");
    bus.Files().Write("calls.log", std::string());
    ASSERT_EQ(::chmod(log.c_str(), 0666), 0);
    const std::string pkexec = bus.Files().Write(
        "pkexec", "#!/bin/sh\necho \"pkexec $*\" >>'" + log + "'\nexec env -i PATH=/usr/bin:/bin \"$@\"\n");
    const std::string udevadm = bus.Files().Write("udevadm", "#!/bin/sh\necho \"udevadm $*\" >>'" + log + "'\n");
    ASSERT_EQ(::chmod(pkexec.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(udevadm.c_str(), 0755), 0);
    const std::string installer = (TestBinaryFolder() / "Drivers/STtube_DFU_Drivers/dpinst_x86.exe").string();

    const std::string command = "env TARNIX_BUS=usb TARNIX_UDEV_RULES_DIR=" + rules + " TARNIX_UDEVADM=" + udevadm +
                                " TARNIX_PKEXEC=" + pkexec +
                                " setpriv --reuid=65534 --regid=65534 --clear-groups " + installer + " /F";
    ASSERT_EQ(std::system(command.c_str()), 0);

    EXPECT_EQ(bus.Files().Read("calls.log"),
              "pkexec " + installer + " --rules-dir " + rules + " --udevadm " + udevadm + "\n" +
                  "udevadm control --reload-rules\n"
                  "udevadm trigger --subsystem-match=usb --subsystem-match=hidraw --action=add\n");
    const std::string installed = rules + "/70-tarnix-sensors.rules";
    EXPECT_EQ(std::system(("cmp -s " + installed + " " + ShippedRule()).c_str()), 0);
    struct stat status {};
    ASSERT_EQ(::stat(installed.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

}  // namespace
}  // namespace tarnix::test
