#pragma once

#include <memory>
#include <string>

#include "platform/HidDevice.h"

namespace tarnix::sim {
class SimHidDevice;
}

namespace tarnix::platform {

// A HID interface of a virtual sensor on the simulated bus.
class SimulatedHidDevice : public HidDevice {
public:
    static std::unique_ptr<HidDevice> Open(const std::string& devicePath, Access access);

    explicit SimulatedHidDevice(std::unique_ptr<sim::SimHidDevice> device);
    ~SimulatedHidDevice() override;

    std::optional<HidCapabilities> Capabilities() const override;
    std::optional<std::string> ManufacturerString() const override;
    std::optional<std::string> ProductString() const override;
    std::optional<std::string> SerialNumberString() const override;
    bool SetFeature(const std::uint8_t* report, std::size_t length) override;
    bool GetFeature(std::uint8_t* report, std::size_t length) override;

private:
    std::unique_ptr<sim::SimHidDevice> device_;
};

}  // namespace tarnix::platform
