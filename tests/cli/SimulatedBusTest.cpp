#include "tests/cli/SimulatedBusTest.h"
#include "tests/support/SensorFlash.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

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
    if (bus.Files().Path().empty()) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    std::filesystem::create_directory(bus.Folder());
}

ProgramRun SimulatedBusTest::RunCli(const std::vector<std::string>& arguments)
{
    return RunProgram((tarnix::test::TestBinaryFolder() / "TarnixProgrammer_CLI").string(), arguments,
                      bus.Files().Path().string());
}

std::string SimulatedBusTest::RunSim(const std::vector<std::string>& arguments)
{
    const tarnix::test::ToolRun run = bus.RunSimTool(arguments);
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

std::string SimulatedBusTest::DeviceNameOf(const std::string& serial)
{
    // On the real-bus backend the tool names a device as the emulated kernel does; "-" still means off the bus.
    const std::string name = WordOf(SimLine(serial), 3, true);
    return OnRealUsbBackend() && name != "-" ? kUsbDeviceName : name;
}

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
    const std::string name = ".flash-read.bin";
    RunSim({"read-flash", serial, std::to_string(address), std::to_string(length), "-o", bus.File(name)});
    std::vector<unsigned char> bytes = bus.Files().ReadBytes(name);
    std::filesystem::remove(bus.File(name));
    return bytes;
}

std::vector<unsigned char> SimulatedBusTest::ReadParameterArea(const std::string& serial)
{
    return ReadFlash(serial, tarnix::test::sensor_flash::kParameters, tarnix::test::sensor_flash::kPage);
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

double SimulatedBusTest::QuickestOf(const std::function<ProgramRun()>& run, int attempts)
{
    double quickest = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const ProgramRun done = run();
        EXPECT_EQ(done.exitCode, 0) << done.out << done.err;
        quickest = attempt == 0 ? done.milliseconds : std::min(quickest, done.milliseconds);
    }
    return quickest;
}

double SimulatedBusTest::HarnessMilliseconds()
{
    if (!OnRealUsbBackend()) {
        return 0;
    }
    const std::string sim = (tarnix::test::TestBinaryFolder() / "tarnix-sim").string();
    return QuickestOf([&] { return RunProgram(sim, {"usb-run", "--", "/bin/true"}, bus.Files().Path()); });
}
