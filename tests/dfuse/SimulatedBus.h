#pragma once

#include "tests/dfuse/TempFolder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

// A private simulated bus for one test: $TARNIX_SIM_DIR points at a fresh folder while it exists, and the
// tarnix-sim tool beside the test binary plugs sensors, injects faults and reads or writes their flash.
class SimulatedBus {
public:
    SimulatedBus() {
        const char* previous = std::getenv("TARNIX_SIM_DIR");
        previous_ = previous != nullptr ? std::optional<std::string>(previous) : std::nullopt;
        ::setenv("TARNIX_SIM_DIR", (state_.Path() / "bus").c_str(), 1);
    }
    ~SimulatedBus() {
        if (previous_) {
            ::setenv("TARNIX_SIM_DIR", previous_->c_str(), 1);
        } else {
            ::unsetenv("TARNIX_SIM_DIR");
        }
    }
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    // Runs tarnix-sim with the arguments (each quoted); its standard output, or nothing when it failed.
    std::optional<std::string> Run(const std::vector<std::string>& arguments) const {
        std::string command = Quote(Tool());
        for (const std::string& argument : arguments) {
            command += ' ' + Quote(argument);
        }
        command += " 2>/dev/null";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return std::nullopt;
        }
        std::string output;
        char buffer[256];
        for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, count);
        }
        return ::pclose(pipe) == 0 ? std::optional<std::string>(output) : std::nullopt;
    }

    // Plugs a sensor in DFU mode, by default without re-enumeration delay and page time; its serial, or an
    // empty string when the tool failed.
    std::string PlugDfuSensor(const std::vector<std::string>& options = {}) const {
        std::vector<std::string> arguments = {"plug", "--mode", "dfu"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        for (const char* option : {"--reenumerate-ms", "--page-ms"}) {
            if (std::find(options.begin(), options.end(), option) == options.end()) {
                arguments.insert(arguments.end(), {option, "0"});
            }
        }
        const std::optional<std::string> output = Run(arguments);
        if (!output) {
            return {};
        }
        std::istringstream lines(*output);
        std::string serial;
        lines >> serial;
        return serial;
    }

    // The device name that `tarnix-sim list` gives for the serial (the last field of its line).
    std::string DevicePath(const std::string& serial) const {
        const std::optional<std::string> output = Run({"list"});
        std::istringstream lines(output.value_or(""));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string first;
            std::string last;
            fields >> first;
            for (std::string field; fields >> field;) {
                last = field;
            }
            if (first == serial || first == serial + ",") {
                return last;
            }
        }
        return {};
    }

    std::vector<std::uint8_t> ReadFlash(const std::string& serial, std::uint32_t address, std::size_t length) const {
        const std::string file = (state_.Path() / "read.bin").string();
        if (!Run({"read-flash", serial, Hex(address), std::to_string(length), "-o", file})) {
            return {};
        }
        std::ifstream in(file, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    bool WriteFlash(const std::string& serial, std::uint32_t address, const std::vector<std::uint8_t>& bytes) const {
        return Run({"write-flash", serial, Hex(address), state_.Write("write.bin", bytes)}).has_value();
    }

    bool Fault(const std::string& serial, const std::string& fault) const {
        return Run({"fault", serial, fault}).has_value();
    }

    const TempFolder& Files() const { return state_; }

    static std::string Hex(std::uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", value);
        return text;
    }

private:
    static std::string Tool() {
        return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tarnix-sim").string();
    }

    static std::string Quote(const std::string& text) {
        std::string quoted = "'";
        for (const char character : text) {
            quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
        }
        return quoted + "'";
    }

    TempFolder state_;
    std::optional<std::string> previous_;
};
