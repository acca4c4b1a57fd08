#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/host/SimulatedDfuTransport.h"
#include "sim/testbed/DescriptorTable.h"
#include "sim/testbed/NodeEndpoint.h"
#include "sim/testbed/UsbfsRequests.h"
#include "sim/usbrun/UsbInterfaceClaim.h"

namespace tarnix::sim {

// An open usbfs node of a sensor in DFU mode. Control transfers reach the sensor's bootloader on the
// simulated bus through its DFU port: the DFU class requests to interface 0 and the standard descriptor
// requests, each answering its byte count. A request the device stalls or refuses fails with EPIPE, and once
// the device has left the bus every ioctl fails with ENODEV. No kernel driver is bound to the interface;
// the files opened on the node share its claim as the kernel's usbfs does: a file's claim (explicit, or
// made by the first request to the interface) fails with EBUSY while another file holds it, the driver
// query then answers "usbfs" (ENODATA while nobody holds it), the plain disconnect ends the other file's
// claim, the disconnect-and-claim request honours its driver conditions, and a claim ends at its release or
// when its file is closed. Claiming also fails with EBUSY when the host could not open the DFU interface
// (wrong driver, open fault).
class UsbfsEndpoint : public NodeEndpoint, private UsbfsRequests {
public:
    UsbfsEndpoint(std::unique_ptr<SimulatedDfuTransport> port, bool claimable, DescriptorTable descriptors,
                  std::shared_ptr<UsbInterfaceClaim> claim);
    // Closing the file ends its claim.
    ~UsbfsEndpoint() override;
    UsbfsEndpoint(const UsbfsEndpoint&) = delete;
    UsbfsEndpoint& operator=(const UsbfsEndpoint&) = delete;

    IoctlAnswer Handle(IoctlCall& call) override;

private:
    IoctlAnswer Control(IoctlCall& call, const usbdevfs_ctrltransfer& transfer, std::uint8_t* data) override;
    IoctlAnswer ClaimInterface() override;
    IoctlAnswer ReleaseInterface() override;
    IoctlAnswer SetInterface(unsigned int setting) override;
    IoctlAnswer Disconnect() override;
    IoctlAnswer DisconnectClaim(const DriverCondition& condition) override;
    std::string InterfaceDriver() override;
    IoctlAnswer DfuRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value, std::uint8_t* data,
                           std::uint16_t length);
    IoctlAnswer Refusal() const;
    bool Claim();

    std::unique_ptr<SimulatedDfuTransport> port_;
    bool claimable_;
    DescriptorTable descriptors_;
    std::shared_ptr<UsbInterfaceClaim> claim_;
};

}  // namespace tarnix::sim
