#pragma once

#include <cstdint>
#include <vector>

#include "sim/host/SimulatedDfuTransport.h"
#include "sim/gadget/GadgetPersonality.h"

namespace tarnix::sim {

// The sensor's DfuSe bootloader: 0483:DF11 with the sensor's strings, one interface of class 0xFE subclass
// 1 protocol 2 whose string is the memory layout, and the DFU functional descriptor. The DFU class requests
// run the sensor's own bootloader model (SimulatedDfuTransport) on the flash in its bus folder, so leaving DFU mode
// boots the firmware there.
//
// FunctionFS takes a class-specific descriptor of type 0x21 only after an interface of the HID (or CCID)
// class, so the functional descriptor follows an alternate setting 1 of class HID without endpoints. The
// host keeps alternate setting 0 (no HID driver binds), and, as on bootloaders with several alternate
// settings, finds the functional descriptor after the last one.
class DfuPersonality : public GadgetPersonality {
public:
    DfuPersonality(SensorStore store, const SensorState& state);

    GadgetIds Identity() const override { return identity_; }
    std::vector<std::uint8_t> FunctionDescriptors() const override;
    std::vector<std::uint8_t> FunctionStrings() const override;
    ControlAnswer Answer(const ControlSetup& setup, const std::vector<std::uint8_t>& data) override;
    // A DNLOAD of a data block is judged by its block number and length and by the bootloader's state and
    // fault, never by its bytes (a stall or download fault strikes before the data is looked at), so its
    // refusal is given before the data stage, as on the simulated bus; a command in block 0 is judged by
    // its bytes.
    std::optional<ControlAnswer> AnswerBeforeData(const ControlSetup& setup) override;

private:
    bool RefusesDataBlock(const ControlSetup& setup) const;

    GadgetIds identity_;
    SensorStore store_;
    std::string serial_;
    SimulatedDfuTransport port_;
};

}  // namespace tarnix::sim
