#pragma once

#include <memory>

#include "sim/host/SimulatedHidDevice.h"
#include "sim/testbed/NodeEndpoint.h"

namespace tarnix::sim {

// An open hidraw node of a sensor in normal mode: HIDIOCSFEATURE and HIDIOCGFEATURE are answered by the
// sensor's HID interface on the simulated bus (the whole device, all its collections), with the byte count
// on success: a read gives the sensor's report, which may be shorter than asked for, and leaves the rest of
// the caller's buffer as it was, as the kernel does. Once the sensor has left that interface every ioctl
// fails with ENODEV; a report the sensor refuses, or a report ID it does not have, fails with EPIPE (a
// stall).
class HidrawEndpoint : public NodeEndpoint {
public:
    explicit HidrawEndpoint(std::unique_ptr<SimulatedHidDevice> device);
    IoctlAnswer Handle(IoctlCall& call) override;

private:
    IoctlAnswer Transfer(IoctlCall& call, bool set);
    std::optional<std::size_t> GetFeature(std::uint8_t* report, std::size_t length);

    std::unique_ptr<SimulatedHidDevice> device_;
};

}  // namespace tarnix::sim
