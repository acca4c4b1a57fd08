#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "sim/SimBus.h"

namespace tarnix::sim::test {

// A private bus for one test: $TARNIX_SIM_DIR names a fresh temporary folder while the object lives; the
// folder is removed afterwards and the variable restored.
class SimTestBus {
public:
    SimTestBus() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-sim-test-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        const char* previous = std::getenv("TARNIX_SIM_DIR");
        if (previous != nullptr) {
            previous_ = previous;
        }
        ::setenv("TARNIX_SIM_DIR", Folder().c_str(), 1);
    }
    ~SimTestBus() {
        if (previous_) {
            ::setenv("TARNIX_SIM_DIR", previous_->c_str(), 1);
        } else {
            ::unsetenv("TARNIX_SIM_DIR");
        }
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    SimTestBus(const SimTestBus&) = delete;
    SimTestBus& operator=(const SimTestBus&) = delete;

    std::string Folder() const { return root_ + "/bus"; }
    std::string File(const std::string& name) const { return root_ + "/" + name; }
    SimBus Bus() const { return SimBus(Folder()); }

    // Plugs a sensor with quick timings unless the prototype says otherwise.
    std::string Plug(SensorMode mode, SensorState prototype = QuickSensor()) const {
        prototype.mode = mode;
        return Bus().Plug(prototype);
    }

    static SensorState QuickSensor() {
        SensorState prototype;
        prototype.reenumerateMs = 0;
        prototype.pageMs = 0;
        return prototype;
    }

    void WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream out(File(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<std::uint8_t> ReadFile(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string root_;
    std::optional<std::string> previous_;
};

// A DfuSe block-0 command with a 32-bit little-endian address (0x21 set address pointer, 0x41 erase page).
inline std::vector<std::uint8_t> DfuCommand(std::uint8_t command, std::uint32_t address) {
    return {command, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
}

// Plugs a normal-mode sensor and finds its HID interface path ("" when it is not on the bus).
inline std::string PlugHidSensor(const SimTestBus& bus, const SensorState& prototype) {
    bus.Plug(SensorMode::Normal, prototype);
    const auto interfaces = bus.Bus().Enumerate(kHidInterfaceClass);
    return interfaces.empty() ? std::string() : interfaces.back().devicePath;
}

// The result of running a program beside the test binary.
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs tarnix-sim (or another program of the build's bin/ folder) with the arguments, in the current
// environment, and collects its exit code and both output streams.
inline ToolRun RunBeside(const std::string& program, const std::vector<std::string>& arguments,
                         const SimTestBus& bus) {
    const std::string bin = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    auto quote = [](const std::string& text) {
        std::string quoted = "'";
        for (char c : text) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        return quoted + "'";
    };
    std::string command = quote(bin + "/" + program);
    for (const std::string& argument : arguments) {
        command += ' ' + quote(argument);
    }
    const std::string outFile = bus.File("tool.out");
    const std::string errFile = bus.File("tool.err");
    command += " >" + quote(outFile) + " 2>" + quote(errFile) + " </dev/null";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto slurp = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    run.out = slurp(outFile);
    run.err = slurp(errFile);
    return run;
}

inline ToolRun RunSimTool(const std::vector<std::string>& arguments, const SimTestBus& bus) {
    return RunBeside("tarnix-sim", arguments, bus);
}

}  // namespace tarnix::sim::test
