#pragma once

// Shared set-up of the tests that drive sensors on the simulated bus: every test gets a bus folder of its
// own, set in the environment before anything touches the bus, and removed afterwards.

#include "platform/SystemServices.h"
#include "sim/FirmwareImage.h"
#include "sim/SimBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The text of the error of the expected type that the call throws, or a note saying what happened instead.
template <typename Error, typename Call>
std::string MessageOf(Call call)
{
    try {
        call();
    } catch (const Error& error) {
        return error.what();
    } catch (const std::exception& other) {
        return std::string("unexpected: ") + other.what();
    }
    return "nothing thrown";
}

class SimulatedBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-dfu-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        ::setenv("TARNIX_SIM_DIR", folder.c_str(), 1);
        bus = std::make_unique<tarnix::sim::SimBus>(folder.string());
    }

    void TearDown() override
    {
        bus.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // Plugs a sensor in DFU mode (no page time, so erasing and programming are quick).
    std::string PlugDfuSensor(tarnix::sim::SensorState prototype = {})
    {
        prototype.mode = tarnix::sim::SensorMode::Dfu;
        prototype.pageMs = 0;
        return bus->Plug(prototype);
    }

    // The sensor's listing once it is present on the bus (in either mode), waiting up to `limit`.
    tarnix::sim::SensorListing WaitUntilPresent(const std::string& serial,
                                                std::chrono::milliseconds limit = std::chrono::milliseconds(3000))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            for (const tarnix::sim::SensorListing& listing : bus->List()) {
                if (listing.serial == serial && listing.present) {
                    return listing;
                }
            }
            if (std::chrono::steady_clock::now() > end) {
                ADD_FAILURE() << "sensor " << serial << " did not appear on the bus";
                return {};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::string DevicePath(const std::string& serial) { return WaitUntilPresent(serial).devicePath; }

    std::vector<std::uint8_t> Flash(const std::string& serial, std::uint32_t address, std::size_t length)
    {
        return bus->ReadFlash(serial, address, length);
    }

    std::string PathInFolder(const std::string& name) const { return (folder / name).string(); }

    void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) const
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // Runs the bus control tool that is built beside the test program; true when it succeeded.
    bool RunSimTool(const std::string& arguments) const
    {
        const std::string tool = tarnix::platform::SystemServices::ExecutableFolder() + "/tarnix-sim";
        const std::string command = "TARNIX_SIM_DIR='" + folder.string() + "' '" + tool + "' " + arguments;
        return std::system(command.c_str()) == 0;
    }

    // A firmware file made by the bus control tool in this test's folder; empty when the tool failed.
    std::string MakeFirmware(const std::string& name, const std::string& options)
    {
        const std::string path = PathInFolder(name);
        if (!RunSimTool("make-firmware " + options + " -o '" + path + "'")) {
            ADD_FAILURE() << "tarnix-sim make-firmware " << options << " failed";
            return {};
        }
        return path;
    }

    std::filesystem::path folder;
    std::unique_ptr<tarnix::sim::SimBus> bus;
};
