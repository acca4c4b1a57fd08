#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarnix::sim {

class CommandArguments;

// The tarnix-sim command line: controls the simulated bus in $TARNIX_SIM_DIR. Each failure is one line on
// the error stream and exit code 1; usb-run ends with the exit code of the command it ran.
class SimTool {
public:
    SimTool(std::ostream& out, std::ostream& err);
    int Run(const std::vector<std::string>& arguments);

private:
    void Dispatch(const std::string& command, const std::vector<std::string>& arguments);
    void Plug(const CommandArguments& arguments);
    void Unplug(const CommandArguments& arguments);
    void List(const CommandArguments& arguments);
    void Fault(const CommandArguments& arguments);
    void ReadFlash(const CommandArguments& arguments);
    void WriteFlash(const CommandArguments& arguments);
    void MakeFirmware(const CommandArguments& arguments);
    void FixDrivers(const CommandArguments& arguments);
    void Usage();

    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace tarnix::sim
