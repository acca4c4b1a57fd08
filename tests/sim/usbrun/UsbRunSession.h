#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/SimulatedBus.h"
#include "tests/support/ToolRun.h"

namespace tarnix::test {

// A private simulated bus and `tarnix-sim usb-run` over it. Scripts run by Run() under usb-run find the
// probe program in $PROBE, tarnix-sim in $SIM and the driver installer in $INSTALLER.
class UsbRunSession {
public:
    static constexpr const char* kRootHub = "/sys/devices/pci0000:00/0000:00:14.0/usb1";

    UsbRunSession() = default;

    SimulatedBus& Bus() { return bus_; }

    // Runs `sh -c SCRIPT` under usb-run.
    ToolRun Run(const std::string& script) const { return RunCommand({"sh", "-c", script}); }
    ToolRun RunCommand(const std::vector<std::string>& command) const
    {
        std::vector<std::string> arguments = {"usb-run", "--"};
        arguments.insert(arguments.end(), command.begin(), command.end());
        return RunBeside("tarnix-sim", arguments, bus_.Files());
    }
    // Runs `sh -c SCRIPT` under usb-run, which starts with the descriptor limits that `ulimit LIMITS` sets
    // ("-n 48": soft and hard, "-Sn 48": soft).
    ToolRun RunLimited(const std::string& limits, const std::string& script) const
    {
        return test::RunCommand(
            {"sh", "-c", "ulimit " + limits + " && exec \"$SIM\" usb-run -- sh -c " + ShellQuoted(script)},
            bus_.Files());
    }

    // sysfs path of the usb_device on port P of bus 1.
    static std::string PortPath(int port) { return std::string(kRootHub) + "/1-" + std::to_string(port); }

    // The "name=value" lines of an output (the last one of a name wins).
    static std::map<std::string, std::string> Values(const std::string& output)
    {
        std::map<std::string, std::string> values;
        std::istringstream lines(output);
        for (std::string line; std::getline(lines, line);) {
            const std::size_t equals = line.find('=');
            const std::string name = line.substr(0, equals);
            if (equals != std::string::npos && !name.empty() && name.find_first_of(" /") == std::string::npos) {
                values[name] = line.substr(equals + 1);
            }
        }
        return values;
    }

    // The device lines of `usbrun_probe devices` by sysfs path: subsystem, devtype, node, major:minor,
    // TARNIX_DFU_DRIVER ("-" for none).
    static std::map<std::string, std::vector<std::string>> Devices(const std::string& output)
    {
        std::map<std::string, std::vector<std::string>> devices;
        for (const std::vector<std::string>& words : LinesOfWords(output)) {
            if (words.size() == 6 && words[0].rfind("/sys/", 0) == 0) {
                devices[words[0]] = std::vector<std::string>(words.begin() + 1, words.end());
            }
        }
        return devices;
    }

private:
    SimulatedBus bus_;
    ScopedEnvironmentVariable probe_{"PROBE", (TestBinaryFolder() / "usbrun_probe").string()};
    ScopedEnvironmentVariable sim_{"SIM", (TestBinaryFolder() / "tarnix-sim").string()};
    ScopedEnvironmentVariable installer_{"INSTALLER",
                                         (TestBinaryFolder() / "Drivers/STtube_DFU_Drivers/dpinst_amd64.exe").string()};
};

}  // namespace tarnix::test
