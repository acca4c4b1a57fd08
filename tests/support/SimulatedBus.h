#pragma once

#include "sim/sensor/BusConstants.h"
#include "sim/bus/SimBus.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolRun.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tarnix::test {

// A private simulated bus for one test: $TARNIX_SIM_DIR names the bus folder inside a fresh temporary
// folder while the object lives, and is restored afterwards. The temporary folder also takes the test's own
// files, and holds the user's data folder ($XDG_DATA_HOME) meanwhile, so that a parameter page saved by a
// failed write lands there and not in the home folder of whoever runs the tests. Sensors are reached through
// the simulator's C++ API (Bus(), Plug) or, as another process sees the bus, through the tarnix-sim tool
// built beside the test binary.
class SimulatedBus {
public:
    SimulatedBus() = default;
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    // The folder of the bus state.
    std::string Folder() const { return files_.File("bus"); }
    sim::SimBus Bus() const { return sim::SimBus(Folder()); }

    // The test's own files, beside the bus state.
    const TemporaryFolder& Files() const { return files_; }
    std::string File(const std::string& name) const { return files_.File(name); }
    // The user's data folder of the test, and the folder of the saved parameter pages in it.
    std::string DataFolder() const { return files_.File("data"); }
    std::string PageBackupFolder() const { return DataFolder() + "/tarnix-programmer"; }

    // A sensor that re-enumerates and erases or programs a page without delay.
    static sim::SensorState QuickSensor()
    {
        sim::SensorState prototype;
        prototype.reenumerateMs = 0;
        prototype.pageMs = 0;
        return prototype;
    }

    // Plugs a sensor in the mode; its serial.
    std::string Plug(sim::SensorMode mode, sim::SensorState prototype = QuickSensor()) const
    {
        prototype.mode = mode;
        return Bus().Plug(prototype);
    }

    // Plugs a normal-mode sensor and answers its HID interface path ("" when it is not on the bus).
    std::string PlugHidSensor(const sim::SensorState& prototype) const
    {
        Plug(sim::SensorMode::Normal, prototype);
        const auto interfaces = Bus().Enumerate(sim::kHidInterfaceClass);
        return interfaces.empty() ? std::string() : interfaces.back().devicePath;
    }

    // The bus's listing of the sensor, when it has one.
    std::optional<sim::SensorListing> Listing(const std::string& serial) const
    {
        for (const sim::SensorListing& listing : Bus().List()) {
            if (listing.serial == serial) {
                return listing;
            }
        }
        return std::nullopt;
    }

    // ---- Through the tarnix-sim tool ----

    ToolRun RunSimTool(const std::vector<std::string>& arguments) const
    {
        return RunBeside("tarnix-sim", arguments, files_);
    }

    // The tool's standard output, or nothing when it failed.
    std::optional<std::string> SimToolOutput(const std::vector<std::string>& arguments) const
    {
        ToolRun run = RunSimTool(arguments);
        return run.Succeeded() ? std::optional<std::string>(std::move(run.out)) : std::nullopt;
    }

    // Makes a firmware file of the given name among the test's files with `make-firmware`.
    ToolRun MakeFirmware(const std::string& name, const std::vector<std::string>& options) const
    {
        std::vector<std::string> arguments = {"make-firmware"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), {"-o", File(name)});
        return RunSimTool(arguments);
    }

    // Plugs a sensor in DFU mode, without re-enumeration delay and page time unless the options set them;
    // its serial, or an empty string when the tool failed.
    std::string PlugDfuSensor(const std::vector<std::string>& options = {}) const
    {
        std::vector<std::string> arguments = {"plug", "--mode", "dfu"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        for (const char* option : {"--reenumerate-ms", "--page-ms"}) {
            if (std::find(options.begin(), options.end(), option) == options.end()) {
                arguments.insert(arguments.end(), {option, "0"});
            }
        }
        std::istringstream output(SimToolOutput(arguments).value_or(""));
        std::string serial;
        output >> serial;
        return serial;
    }

    // The device name that `tarnix-sim list` gives for the serial (the last word of its line).
    std::string DevicePath(const std::string& serial) const
    {
        for (const std::vector<std::string>& words : LinesOfWords(SimToolOutput({"list"}).value_or(""))) {
            if (!words.empty() && (words.front() == serial || words.front() == serial + ",")) {
                return words.size() > 1 ? words.back() : std::string();
            }
        }
        return {};
    }

    std::vector<std::uint8_t> ReadFlash(const std::string& serial, std::uint32_t address, std::size_t length) const
    {
        if (!RunSimTool({"read-flash", serial, Hex(address), std::to_string(length), "-o", File("read.bin")})
                 .Succeeded()) {
            return {};
        }
        return files_.ReadBytes("read.bin");
    }

    bool WriteFlash(const std::string& serial, std::uint32_t address, const std::vector<std::uint8_t>& bytes) const
    {
        return RunSimTool({"write-flash", serial, Hex(address), files_.Write("write.bin", bytes)}).Succeeded();
    }

    bool Fault(const std::string& serial, const std::string& fault) const
    {
        return RunSimTool({"fault", serial, fault}).Succeeded();
    }

private:
    static std::string Hex(std::uint32_t value)
    {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", value);
        return text;
    }

    TemporaryFolder files_;
    ScopedEnvironmentVariable busFolder_{"TARNIX_SIM_DIR", Folder()};
    ScopedEnvironmentVariable dataFolder_{"XDG_DATA_HOME", DataFolder()};
};

}  // namespace tarnix::test
