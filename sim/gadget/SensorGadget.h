#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include "sim/sensor/SensorState.h"
#include "sim/bus/SensorStore.h"
#include "sim/gadget/BusPresence.h"
#include "sim/gadget/ConfigfsGadget.h"

namespace tarnix::sim {

// Plays one virtual sensor of a bus folder as a USB device on the kernel's device controller (dummy_hcd in
// a test machine), so that the host side of the same kernel sees it as it would see the real sensor. The
// sensor's state, flash and bootloader registers stay in its bus folder and follow the simulator's rules;
// this class only carries them onto the wire, as a configfs gadget with one FunctionFS function:
// - normal mode: 3C9E:0101 with a HID interface (HidPersonality);
// - DFU mode: 0483:DF11 with the DfuSe interface (DfuPersonality);
// - a mode switch, a re-enumeration or a drop off the bus (the unplug fault) in the state takes the device
//   off the bus at once (the gadget is unbound); it comes back in its new mode when the state's
//   re-enumeration delay has passed.
class SensorGadget {
public:
    SensorGadget(SensorStore store, std::string serial, std::ostream& log);
    ~SensorGadget();

    // Until the sensor is unplugged from its folder or `stop` is set. The kernel side (configfs gadget,
    // FunctionFS mount) is set up first and taken down at the end; SimError when that fails.
    void Run(const std::atomic<bool>& stop);

private:
    std::unique_ptr<BusPresence> Appear(const SensorState& state);
    void Serve(BusPresence& presence, const SensorState& state, const std::atomic<bool>& stop);
    void Handle(BusPresence& presence, const ControlSetup& setup);
    bool IsCurrent(const SensorState& attached) const;
    void Log(const std::string& text);

    SensorStore store_;
    std::string serial_;
    std::ostream& log_;
    std::chrono::steady_clock::time_point start_;
    std::unique_ptr<ConfigfsGadget> configfs_;
};

}  // namespace tarnix::sim
