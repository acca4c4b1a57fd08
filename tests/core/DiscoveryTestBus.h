#pragma once

#include "core/DeviceHandler.h"

#include "tests/support/SimulatedBus.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

// A private simulated bus per test and an empty registry: the registry is process-wide, so its names are
// dropped before every test.
class DiscoveryTest : public ::testing::Test {
protected:
    using SensorState = tarnix::sim::SensorState;
    using SensorMode = tarnix::sim::SensorMode;

    void SetUp() override
    {
        registry->ClearDeviceMaps();
        registry->ClearRemovedDeviceVectors();
    }

    // A sensor with quick timings and the given serial number.
    static SensorState Prototype(const std::string& serial)
    {
        SensorState prototype = tarnix::test::SimulatedBus::QuickSensor();
        prototype.serial = serial;
        return prototype;
    }

    // A sensor in normal mode with the given top-level collection; answers its device name.
    std::string PlugSensor(const std::string& serial, std::uint16_t usagePage = 0xFF00, std::uint16_t usage = 1)
    {
        SensorState prototype = Prototype(serial);
        prototype.usagePage = usagePage;
        prototype.usage = usage;
        return Plug(prototype, SensorMode::Normal);
    }

    std::string PlugDfu(const std::string& serial, bool rightDriver = true)
    {
        SensorState prototype = Prototype(serial);
        prototype.driver = rightDriver ? tarnix::sim::DriverKind::Ok : tarnix::sim::DriverKind::Incompatible;
        return Plug(prototype, SensorMode::Dfu);
    }

    std::string Plug(const SensorState& prototype, SensorMode mode)
    {
        const std::string serial = bus.Plug(mode, prototype);
        return PathOf(serial);
    }

    std::string PathOf(const std::string& serial) const
    {
        const std::optional<tarnix::sim::SensorListing> listing = bus.Listing(serial);
        if (!listing) {
            ADD_FAILURE() << "no sensor " << serial << " on the bus";
            return {};
        }
        return listing->devicePath;
    }

    tarnix::test::SimulatedBus bus;
    DeviceHandler* const registry = DeviceHandler::GetInstance();
};
