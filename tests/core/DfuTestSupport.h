#pragma once

// Shared set-up of the tests that drive sensors on the simulated bus: every test gets a private bus (see
// SimulatedBus), reached through `bus`.

#include "sim/images/FirmwareImage.h"
#include "sim/bus/SimBus.h"
#include "tests/support/SimulatedBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
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
        ASSERT_FALSE(simulated.Files().Path().empty());
        bus = std::make_unique<tarnix::sim::SimBus>(simulated.Folder());
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
            const std::optional<tarnix::sim::SensorListing> listing = simulated.Listing(serial);
            if (listing && listing->present) {
                return *listing;
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

    std::string PathInFolder(const std::string& name) const { return simulated.File(name); }

    // Writes a file of this test's folder; answers its path.
    std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        return simulated.Files().Write(name, bytes);
    }

    // A firmware file made by the bus control tool in this test's folder; empty when the tool failed.
    std::string MakeFirmware(const std::string& name, const std::vector<std::string>& options)
    {
        const tarnix::test::ToolRun run = simulated.MakeFirmware(name, options);
        if (!run.Succeeded()) {
            ADD_FAILURE() << "tarnix-sim make-firmware failed for " << name << ": " << run.err;
            return {};
        }
        return PathInFolder(name);
    }

    tarnix::test::SimulatedBus simulated;
    std::unique_ptr<tarnix::sim::SimBus> bus;
};
