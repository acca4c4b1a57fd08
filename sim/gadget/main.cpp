// tarnix-gadget: plays a virtual sensor of a simulated bus folder as a USB device on the kernel's USB
// device controller (see SensorGadget).
#include <atomic>
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/bus/SensorStore.h"
#include "sim/bus/SimError.h"
#include "sim/gadget/SensorGadget.h"

namespace {

constexpr const char* kUsage =
    "usage: tarnix-gadget [--serial S]\n"
    "Plays the virtual sensor S of the bus in $TARNIX_SIM_DIR (made with tarnix-sim plug; S may be left out\n"
    "when the bus holds one sensor) as a USB device on the first USB device controller, until it is\n"
    "unplugged or the program is stopped (SIGINT, SIGTERM). Needs root, configfs and FunctionFS.\n";

std::atomic<bool> stopRequested{false};

void RequestStop(int) { stopRequested = true; }

// The serial the arguments name ("--serial S", or nothing); SimError for anything else.
std::optional<std::string> SerialArgument(const std::vector<std::string>& words)
{
    if (words.empty()) {
        return std::nullopt;
    }
    if (words.size() == 2 && words[0] == "--serial") {
        return words[1];
    }
    throw tarnix::sim::SimError(std::string("unexpected arguments\n") + kUsage);
}

std::string ChooseSerial(const tarnix::sim::SensorStore& store, const std::optional<std::string>& serial)
{
    if (serial) {
        if (!tarnix::sim::SensorState::IsValidSerial(*serial) || !store.Exists(*serial)) {
            throw tarnix::sim::SimError("no sensor with serial '" + *serial + "' in " + store.Folder());
        }
        return *serial;
    }
    const std::vector<std::string> serials = store.Serials();
    if (serials.size() != 1) {
        throw tarnix::sim::SimError(store.Folder() + " holds " + std::to_string(serials.size()) +
                                    " sensors; name one with --serial");
    }
    return serials.front();
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (!words.empty() && (words[0] == "--help" || words[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    try {
        const tarnix::sim::SensorStore store;
        const std::string serial = ChooseSerial(store, SerialArgument(words));
        struct sigaction action {};
        action.sa_handler = RequestStop;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        tarnix::sim::SensorGadget(store, serial, std::cerr).Run(stopRequested);
    } catch (const std::exception& error) {
        std::cerr << "tarnix-gadget: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
