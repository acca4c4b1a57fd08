#pragma once

#include <memory>
#include <string>

#include "io/FileDescriptor.h"
#include "platform/HidDevice.h"

namespace tarnix::sim {
class SimHidDevice;
}

namespace tarnix::platform {

// A HID interface of a virtual sensor on the simulated bus. Opened for reading and writing it holds one
// file descriptor for as long as it lives, as a hidraw node does on the real bus, so that a handle a
// program never closes shows in its descriptor count and runs into its descriptor limit here too.
class SimulatedHidDevice : public HidDevice {
public:
    // Nothing when the sensor refuses, or when no descriptor is left for a read/write open.
    static std::unique_ptr<HidDevice> Open(const std::string& devicePath, Access access);

    SimulatedHidDevice(std::unique_ptr<sim::SimHidDevice> device, io::FileDescriptor node);
    ~SimulatedHidDevice() override;

    std::optional<HidCapabilities> Capabilities() const override;
    std::optional<std::string> ManufacturerString() const override;
    std::optional<std::string> ProductString() const override;
    std::optional<std::string> SerialNumberString() const override;
    bool SetFeature(const std::uint8_t* report, std::size_t length) override;
    bool GetFeature(std::uint8_t* report, std::size_t length) override;

private:
    std::unique_ptr<sim::SimHidDevice> device_;
    io::FileDescriptor node_;  // not open for a probe
};

}  // namespace tarnix::platform
