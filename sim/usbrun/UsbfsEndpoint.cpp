#include "sim/usbrun/UsbfsEndpoint.h"

#include <cerrno>

#include "sim/sensor/DfuControlRequests.h"
#include "io/DfuProtocol.h"

namespace tarnix::sim {

UsbfsEndpoint::UsbfsEndpoint(std::unique_ptr<SimulatedDfuTransport> port, bool claimable, DescriptorTable descriptors,
                             std::shared_ptr<UsbInterfaceClaim> claim)
    : port_(std::move(port)), claimable_(claimable), descriptors_(std::move(descriptors)), claim_(std::move(claim))
{
}

UsbfsEndpoint::~UsbfsEndpoint() { claim_->Release(this); }

IoctlAnswer UsbfsEndpoint::Handle(IoctlCall& call)
{
    if (!port_->Present()) {
        return IoctlAnswer::Failure(ENODEV);
    }
    return Serve(call);
}

IoctlAnswer UsbfsEndpoint::Control(IoctlCall&, const usbdevfs_ctrltransfer& transfer, std::uint8_t* data)
{
    if (transfer.bRequestType == DescriptorTable::kStandardIn) {
        return descriptors_.Answer(transfer, data);
    }
    if (transfer.bRequestType != io::dfu::kRequestTypeOut && transfer.bRequestType != io::dfu::kRequestTypeIn) {
        return IoctlAnswer::Failure(EPIPE);
    }
    if (transfer.wIndex != 0) {
        return IoctlAnswer::Failure(ENOENT);  // no such interface
    }
    if (!Claim()) {
        return IoctlAnswer::Failure(EBUSY);
    }
    return DfuRequest(transfer.bRequestType, transfer.bRequest, transfer.wValue, data, transfer.wLength);
}

IoctlAnswer UsbfsEndpoint::DfuRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                      std::uint8_t* data, std::uint16_t length)
{
    const DfuControlResult result =
        DfuControlRequests::Run(*port_, requestType == io::dfu::kRequestTypeIn, request, value, data, length);
    if (!result.recognised) {
        return IoctlAnswer::Failure(EPIPE);
    }
    return result.answered ? IoctlAnswer::Success(static_cast<long>(result.length)) : Refusal();
}

IoctlAnswer UsbfsEndpoint::ClaimInterface() { return Claim() ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(EBUSY); }

IoctlAnswer UsbfsEndpoint::ReleaseInterface()
{
    return claim_->Release(this) ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(EINVAL);
}

IoctlAnswer UsbfsEndpoint::SetInterface(unsigned int setting)
{
    if (!Claim()) {
        return IoctlAnswer::Failure(EBUSY);
    }
    return setting == 0 ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(EINVAL);
}

// Whatever driver holds the interface is detached, usbfs and so another file's claim included.
IoctlAnswer UsbfsEndpoint::Disconnect()
{
    return claim_->Disconnect() ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(ENODATA);
}

IoctlAnswer UsbfsEndpoint::DisconnectClaim(const DriverCondition& condition)
{
    if (!claimable_) {
        return IoctlAnswer::Failure(EBUSY);
    }
    const auto mayDetach = [&](const std::string& bound) { return condition.AllowsDetaching(bound); };
    return claim_->DisconnectAndClaim(this, mayDetach) ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(EBUSY);
}

std::string UsbfsEndpoint::InterfaceDriver() { return claim_->Driver(); }

IoctlAnswer UsbfsEndpoint::Refusal() const { return IoctlAnswer::Failure(port_->Present() ? EPIPE : ENODEV); }

// usbfs claims the interface on the first request that needs it, as the kernel does.
bool UsbfsEndpoint::Claim() { return claimable_ && claim_->Claim(this); }

}  // namespace tarnix::sim
