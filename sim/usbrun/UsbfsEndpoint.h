#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "sim/SimUsbDfuPort.h"
#include "sim/usbrun/NodeEndpoint.h"

namespace tarnix::sim {

// What a DfuSe bootloader shows over its control endpoint besides the DFU requests: its device and
// configuration descriptors and its strings, by index.
struct BootloaderDescriptors {
    std::vector<std::uint8_t> device;
    std::vector<std::uint8_t> configuration;
    std::map<std::uint8_t, std::string> strings;
};

// An open usbfs node of a sensor in DFU mode. Control transfers reach the sensor's bootloader on the
// simulated bus through its DFU port: the DFU class requests to interface 0 and the standard descriptor
// requests, each answering its byte count. A request the device stalls or refuses fails with EPIPE, and once
// the device has left the bus every ioctl fails with ENODEV. The interface has no kernel driver (disconnect
// and driver queries: ENODATA); claiming it fails with EBUSY when the host could not open the DFU interface
// (wrong driver, open fault).
class UsbfsEndpoint : public NodeEndpoint {
public:
    UsbfsEndpoint(std::unique_ptr<SimUsbDfuPort> port, bool claimable, BootloaderDescriptors descriptors);
    IoctlAnswer Handle(IoctlCall& call) override;

private:
    IoctlAnswer Control(IoctlCall& call);
    IoctlAnswer StandardRequest(std::uint8_t request, std::uint16_t value, std::uint8_t* data, std::uint16_t length);
    IoctlAnswer DfuRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint8_t* data,
                           std::uint16_t length);
    IoctlAnswer ClaimInterface(IoctlCall& call);
    IoctlAnswer ReleaseInterface(IoctlCall& call);
    IoctlAnswer SetInterface(IoctlCall& call);
    IoctlAnswer DriverControl(IoctlCall& call);
    IoctlAnswer Refusal() const;
    bool Claim();

    std::unique_ptr<SimUsbDfuPort> port_;
    bool claimable_;
    bool claimed_ = false;
    BootloaderDescriptors descriptors_;
};

}  // namespace tarnix::sim
