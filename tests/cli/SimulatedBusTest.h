#pragma once

#include "tests/cli/ProgramRun.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/SimulatedBus.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Base of the tests that run TarnixProgrammer_CLI and tarnix-sim as programs. Every test gets its own
// temporary folder holding its simulated bus ($TARNIX_SIM_DIR), and a single-instance mutex of its own
// ($TARNIX_MUTEX_PREFIX, the folder's path); both variables are set in this process, so the programs it
// starts inherit them.
class SimulatedBusTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Runs the tool (in the test's folder, so relative file names land there).
    ProgramRun RunCli(const std::vector<std::string>& arguments);
    // Runs the simulator's control tool and fails the test when it does not succeed.
    std::string RunSim(const std::vector<std::string>& arguments);

    // Plugs a virtual sensor and answers its serial.
    std::string Plug(const std::vector<std::string>& options = {});
    // The simulator's line for one sensor ("serial mode driver device-name"), or empty when it is not plugged.
    std::string SimLine(const std::string& serial);
    std::string DeviceNameOf(const std::string& serial);
    std::string ModeOf(const std::string& serial);
    std::string DriverOf(const std::string& serial);
    // Polls the bus until the sensor is present in `mode`; false after `limitMs`.
    bool WaitForMode(const std::string& serial, const std::string& mode, int limitMs = 10000);
    std::vector<unsigned char> ReadFlash(const std::string& serial, unsigned int address, unsigned int length);
    std::vector<unsigned char> ReadParameterArea(const std::string& serial);

    // The quickest of a few runs of a command, each of which must succeed: a busy machine may hold up one run,
    // never all of them, while a tool that waits where it should not is slow every time.
    static double QuickestOf(const std::function<ProgramRun()>& run, int attempts = 5);
    // What a run of the tool costs on top of the tool's own work: on the real-bus backend, usb-run building
    // and removing the emulated device tree (the quickest of a few runs of usb-run alone); 0 on the simulated
    // bus.
    double HarnessMilliseconds();

    // The usage text, exactly as the tool prints it.
    static std::string Usage();

    // The test's folder (bus.Files()) holds the bus state in bus.Folder() and the test's own files.
    tarnix::test::SimulatedBus bus;

private:
    tarnix::test::ScopedEnvironmentVariable mutexPrefix{"TARNIX_MUTEX_PREFIX", bus.Files().Path().string() + ":"};
};
