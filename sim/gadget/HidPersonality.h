#pragma once

#include <cstdint>
#include <vector>

#include "sim/host/SimulatedHidDevice.h"
#include "sim/gadget/GadgetPersonality.h"

namespace tarnix::sim {

// The sensor in normal mode: 3C9E:0101 with the sensor's strings, one HID interface whose report descriptor
// holds the sensor's collections (SensorCollection: the configuration collection with the feature reports
// 0x80 (switch), 0x01 (request) and 0x02 (answer), and any others), and an interrupt IN endpoint. Feature reports are
// answered by the sensor's own HID model (SimulatedHidDevice), so a switch report moves the sensor in its bus folder to
// DFU mode.
class HidPersonality : public GadgetPersonality {
public:
    HidPersonality(SensorStore store, const SensorState& state);

    const std::vector<std::uint8_t>& ReportDescriptor() const { return reportDescriptor_; }

    GadgetIds Identity() const override { return identity_; }
    std::vector<std::uint8_t> FunctionDescriptors() const override;
    std::vector<std::uint8_t> FunctionStrings() const override;
    ControlAnswer Answer(const ControlSetup& setup, const std::vector<std::uint8_t>& data) override;

private:
    ControlAnswer GetDescriptor(const ControlSetup& setup) const;
    ControlAnswer GetReport(const ControlSetup& setup);
    ControlAnswer SetReport(const ControlSetup& setup, const std::vector<std::uint8_t>& data);

    GadgetIds identity_;
    SimulatedHidDevice device_;
    std::vector<std::uint8_t> reportDescriptor_;
};

}  // namespace tarnix::sim
