#include "tests/cli/SimulatedBusTest.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void RestoreEnvironment(const char* name, const std::string& value)
{
    if (value.empty()) {
        ::unsetenv(name);
    } else {
        ::setenv(name, value.c_str(), 1);
    }
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The word at `position` of a whitespace-separated line; the last word takes the rest of the line.
std::string WordOf(const std::string& line, std::size_t position, bool toEnd)
{
    std::istringstream words(line);
    std::string word;
    for (std::size_t i = 0; i < position; ++i) {
        words >> word;
    }
    if (toEnd) {
        std::string rest;
        std::getline(words >> std::ws, rest);
        return rest;
    }
    words >> word;
    return word;
}

}  // namespace

void SimulatedBusTest::SetUp()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-cli-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    folder = pattern;
    std::filesystem::create_directory(folder + "/bus");
    previousSimDir = Environment("TARNIX_SIM_DIR");
    previousMutexDir = Environment("TARNIX_MUTEX_DIR");
    ::setenv("TARNIX_SIM_DIR", (folder + "/bus").c_str(), 1);
    ::setenv("TARNIX_MUTEX_DIR", folder.c_str(), 1);
}

void SimulatedBusTest::TearDown()
{
    RestoreEnvironment("TARNIX_SIM_DIR", previousSimDir);
    RestoreEnvironment("TARNIX_MUTEX_DIR", previousMutexDir);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

ProgramRun SimulatedBusTest::RunCli(const std::vector<std::string>& arguments)
{
    return RunProgram(ProgramFolder() + "/TarnixProgrammer_CLI", arguments, folder);
}

std::string SimulatedBusTest::RunSim(const std::vector<std::string>& arguments)
{
    const ProgramRun run = RunProgram(ProgramFolder() + "/tarnix-sim", arguments, folder);
    EXPECT_EQ(run.exitCode, 0) << "tarnix-sim failed: " << run.err;
    return run.out;
}

std::string SimulatedBusTest::Plug(const std::vector<std::string>& options)
{
    std::vector<std::string> arguments{"plug"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return Trimmed(RunSim(arguments));
}

std::string SimulatedBusTest::SimLine(const std::string& serial)
{
    std::istringstream lines(RunSim({"list"}));
    std::string line;
    while (std::getline(lines, line)) {
        if (WordOf(line, 0, false) == serial) {
            return line;
        }
    }
    return "";
}

std::string SimulatedBusTest::ModeOf(const std::string& serial) { return WordOf(SimLine(serial), 1, false); }

std::string SimulatedBusTest::DriverOf(const std::string& serial) { return WordOf(SimLine(serial), 2, false); }

std::string SimulatedBusTest::DeviceNameOf(const std::string& serial) { return WordOf(SimLine(serial), 3, true); }

bool SimulatedBusTest::WaitForMode(const std::string& serial, const std::string& mode, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < end) {
        // While it re-enumerates a sensor already has its new mode but no device yet ("-").
        const std::string line = SimLine(serial);
        if (WordOf(line, 1, false) == mode && WordOf(line, 3, true) != "-") {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::vector<unsigned char> SimulatedBusTest::ReadFlash(const std::string& serial, unsigned int address,
                                                       unsigned int length)
{
    const std::string file = PathOf(".flash-read.bin");
    RunSim({"read-flash", serial, std::to_string(address), std::to_string(length), "-o", file});
    std::vector<unsigned char> bytes = ReadBytes(file);
    std::filesystem::remove(file);
    return bytes;
}

std::vector<unsigned char> SimulatedBusTest::ReadParameterArea(const std::string& serial)
{
    return ReadFlash(serial, 0x08004000U, 2048U);
}

std::string SimulatedBusTest::PathOf(const std::string& name) const { return folder + "/" + name; }

std::string SimulatedBusTest::ReadText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void SimulatedBusTest::WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<unsigned char> SimulatedBusTest::ReadBytes(const std::string& path)
{
    const std::string text = ReadText(path);
    return std::vector<unsigned char>(text.begin(), text.end());
}

void SimulatedBusTest::WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    WriteText(path, std::string(bytes.begin(), bytes.end()));
}

std::string SimulatedBusTest::Usage()
{
    return "Usage: TarnixProgrammer_CLI [options] ...\n"
           "-l --list               List currently connected devices.\n"
           "-d --device <index>     Specify which device to work with.\n"
           "-w --write <file>       Write parameters stored in a .json file to the device.\n"
           "-r --read <file>        Read parameters from the device and store them in a .json file.\n"
           "-f --flash <file>       Flash a new firmware with a .hex or .dfu file.\n"
           "-o --overwrite          Enables overwriting parameters when flashing firmware.\n"
           "-i --install            Installs compatible DFU drivers. Administrator rights needed.\n"
           "-v --version            Display TarnixProgrammer application version.\n"
           "-h --help               Display this help message.\n";
}
