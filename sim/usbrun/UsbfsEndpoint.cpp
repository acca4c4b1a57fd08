#include "sim/usbrun/UsbfsEndpoint.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include "sim/sensor/DfuControlRequests.h"
#include "sim/sensor/UsbDescriptorBuilder.h"

namespace tarnix::sim {

namespace {

constexpr std::uint8_t kStandardIn = 0x80;
constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kDeviceDescriptor = 1;
constexpr std::uint8_t kConfigurationDescriptor = 2;
constexpr std::uint8_t kStringDescriptor = 3;

// The ioctl's argument structure, copied out of the caller's memory.
template <typename Structure>
std::optional<Structure> ArgumentOf(IoctlCall& call) {
    const std::uint8_t* bytes = call.Argument(sizeof(Structure));
    if (bytes == nullptr) {
        return std::nullopt;
    }
    Structure structure;
    std::memcpy(&structure, bytes, sizeof structure);
    return structure;
}

IoctlAnswer Copied(const std::vector<std::uint8_t>& bytes, std::uint8_t* data, std::uint16_t length) {
    const std::size_t count = std::min<std::size_t>(bytes.size(), length);
    if (count > 0) {
        std::memcpy(data, bytes.data(), count);
    }
    return IoctlAnswer::Success(static_cast<long>(count));
}

}  // namespace

UsbfsEndpoint::UsbfsEndpoint(std::unique_ptr<SimUsbDfuPort> port, bool claimable, BootloaderDescriptors descriptors,
                             std::shared_ptr<UsbInterfaceClaim> claim)
    : port_(std::move(port)), claimable_(claimable), descriptors_(std::move(descriptors)), claim_(std::move(claim)) {}

UsbfsEndpoint::~UsbfsEndpoint() { claim_->Release(this); }

IoctlAnswer UsbfsEndpoint::Handle(IoctlCall& call) {
    if (!port_->Present()) {
        return IoctlAnswer::Failure(ENODEV);
    }
    switch (call.Request()) {
        case USBDEVFS_CONTROL:
            return Control(call);
        case USBDEVFS_CLAIMINTERFACE:
            return ClaimInterface(call);
        case USBDEVFS_RELEASEINTERFACE:
            return ReleaseInterface(call);
        case USBDEVFS_SETINTERFACE:
            return SetInterface(call);
        case USBDEVFS_IOCTL:
            return DriverControl(call);
        case USBDEVFS_GETDRIVER:
            return GetDriver(call);
        case USBDEVFS_DISCONNECT_CLAIM:
            return DisconnectClaim(call);
        default:
            return IoctlAnswer::Failure(ENOTTY);
    }
}

IoctlAnswer UsbfsEndpoint::Control(IoctlCall& call) {
    const auto argument = ArgumentOf<usbdevfs_ctrltransfer>(call);
    if (!argument) {
        return IoctlAnswer::Failure(EFAULT);
    }
    const usbdevfs_ctrltransfer& transfer = *argument;
    std::uint8_t* data = nullptr;
    if (transfer.wLength > 0) {
        data = call.Pointee(offsetof(usbdevfs_ctrltransfer, data), transfer.wLength);
        if (data == nullptr) {
            return IoctlAnswer::Failure(EFAULT);
        }
    }
    if (transfer.bRequestType == kStandardIn) {
        return StandardRequest(transfer.bRequest, transfer.wValue, data, transfer.wLength);
    }
    if (transfer.bRequestType != DfuControlRequests::kClassInterfaceOut &&
        transfer.bRequestType != DfuControlRequests::kClassInterfaceIn) {
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

IoctlAnswer UsbfsEndpoint::StandardRequest(std::uint8_t request, std::uint16_t value, std::uint8_t* data,
                                           std::uint16_t length) {
    if (request != kGetDescriptor) {
        return IoctlAnswer::Failure(EPIPE);
    }
    const auto type = static_cast<std::uint8_t>(value >> 8);
    const auto index = static_cast<std::uint8_t>(value);
    if (type == kDeviceDescriptor) {
        return Copied(descriptors_.device, data, length);
    }
    if (type == kConfigurationDescriptor && index == 0) {
        return Copied(descriptors_.configuration, data, length);
    }
    if (type == kStringDescriptor && index == 0) {
        return Copied(UsbDescriptorBuilder::LanguageList(), data, length);
    }
    const auto text = descriptors_.strings.find(index);
    if (type == kStringDescriptor && text != descriptors_.strings.end()) {
        return Copied(UsbDescriptorBuilder::String(text->second), data, length);
    }
    return IoctlAnswer::Failure(EPIPE);
}

IoctlAnswer UsbfsEndpoint::DfuRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                      std::uint8_t* data, std::uint16_t length) {
    const DfuControlResult result =
        DfuControlRequests::Run(*port_, requestType == DfuControlRequests::kClassInterfaceIn, request, value, data, length);
    if (!result.recognised) {
        return IoctlAnswer::Failure(EPIPE);
    }
    return result.answered ? IoctlAnswer::Success(static_cast<long>(result.length)) : Refusal();
}

IoctlAnswer UsbfsEndpoint::ClaimInterface(IoctlCall& call) {
    const auto interface = ArgumentOf<unsigned int>(call);
    if (!interface) {
        return IoctlAnswer::Failure(EFAULT);
    }
    if (*interface != 0) {
        return IoctlAnswer::Failure(ENOENT);
    }
    return Claim() ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(EBUSY);
}

IoctlAnswer UsbfsEndpoint::ReleaseInterface(IoctlCall& call) {
    const auto interface = ArgumentOf<unsigned int>(call);
    if (!interface) {
        return IoctlAnswer::Failure(EFAULT);
    }
    if (*interface != 0) {
        return IoctlAnswer::Failure(ENOENT);
    }
    return claim_->Release(this) ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(EINVAL);
}

IoctlAnswer UsbfsEndpoint::SetInterface(IoctlCall& call) {
    const auto setting = ArgumentOf<usbdevfs_setinterface>(call);
    if (!setting) {
        return IoctlAnswer::Failure(EFAULT);
    }
    if (setting->interface != 0) {
        return IoctlAnswer::Failure(ENOENT);
    }
    if (!Claim()) {
        return IoctlAnswer::Failure(EBUSY);
    }
    return setting->altsetting == 0 ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(EINVAL);
}

IoctlAnswer UsbfsEndpoint::DriverControl(IoctlCall& call) {
    const auto command = ArgumentOf<usbdevfs_ioctl>(call);
    if (!command) {
        return IoctlAnswer::Failure(EFAULT);
    }
    if (command->ifno != 0) {
        return IoctlAnswer::Failure(EINVAL);
    }
    if (command->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
        // Whatever driver holds the interface is detached, usbfs and so another file's claim included.
        return claim_->Disconnect() ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(ENODATA);
    }
    return IoctlAnswer::Failure(ENOTTY);
}

IoctlAnswer UsbfsEndpoint::GetDriver(IoctlCall& call) {
    std::uint8_t* bytes = call.Argument(sizeof(usbdevfs_getdriver));
    if (bytes == nullptr) {
        return IoctlAnswer::Failure(EFAULT);
    }
    usbdevfs_getdriver query;
    std::memcpy(&query, bytes, sizeof query);
    if (query.interface != 0) {
        return IoctlAnswer::Failure(EINVAL);
    }
    const std::string driver = claim_->Driver();
    if (driver.empty()) {
        return IoctlAnswer::Failure(ENODATA);
    }
    std::memset(query.driver, 0, sizeof query.driver);
    std::memcpy(query.driver, driver.data(), std::min(driver.size(), sizeof query.driver - 1));
    std::memcpy(bytes, &query, sizeof query);
    return IoctlAnswer::Success(0);
}

IoctlAnswer UsbfsEndpoint::DisconnectClaim(IoctlCall& call) {
    const auto request = ArgumentOf<usbdevfs_disconnect_claim>(call);
    if (!request) {
        return IoctlAnswer::Failure(EFAULT);
    }
    if (request->interface != 0) {
        return IoctlAnswer::Failure(EINVAL);
    }
    if (!claimable_) {
        return IoctlAnswer::Failure(EBUSY);
    }
    const std::string named(request->driver, strnlen(request->driver, sizeof request->driver));
    const auto mayDetach = [&](const std::string& bound) {
        const bool onlyNamed = (request->flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER) != 0;
        const bool exceptNamed = (request->flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) != 0;
        return !(onlyNamed && named != bound) && !(exceptNamed && named == bound);
    };
    return claim_->DisconnectAndClaim(this, mayDetach) ? IoctlAnswer::Success(0) : IoctlAnswer::Failure(EBUSY);
}

IoctlAnswer UsbfsEndpoint::Refusal() const { return IoctlAnswer::Failure(port_->Present() ? EPIPE : ENODEV); }

// usbfs claims the interface on the first request that needs it, as the kernel does.
bool UsbfsEndpoint::Claim() { return claimable_ && claim_->Claim(this); }

}  // namespace tarnix::sim
