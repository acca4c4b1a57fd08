#include "sim/testbed/UsbfsRequests.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <sys/ioctl.h>

namespace tarnix::sim {

namespace {

// The ioctl's argument structure, copied out of the caller's memory.
template <typename Structure>
std::optional<Structure> ArgumentOf(IoctlCall& call)
{
    const std::uint8_t* bytes = call.Argument(sizeof(Structure));
    if (bytes == nullptr) {
        return std::nullopt;
    }
    Structure structure;
    std::memcpy(&structure, bytes, sizeof structure);
    return structure;
}

}  // namespace

bool UsbfsRequests::DriverCondition::AllowsDetaching(const std::string& bound) const
{
    return !(onlyNamed && named != bound) && !(exceptNamed && named == bound);
}

IoctlAnswer UsbfsRequests::Serve(IoctlCall& call)
{
    const unsigned long request = call.Request();
    if (request == USBDEVFS_CONTROL) {
        return ControlRequest(call);
    }
    if (request == USBDEVFS_IOCTL) {
        return DriverControl(call);
    }
    if (request == USBDEVFS_GETDRIVER) {
        return GetDriver(call);
    }
    if (request == USBDEVFS_DISCONNECT_CLAIM) {
        return ClaimRequest(call);
    }
    if (request == USBDEVFS_SETINTERFACE) {
        return SettingRequest(call);
    }
    if (request == USBDEVFS_CLAIMINTERFACE || request == USBDEVFS_RELEASEINTERFACE) {
        const auto interface = ArgumentOf<unsigned int>(call);
        if (!interface) {
            return IoctlAnswer::Failure(EFAULT);
        }
        if (*interface != 0) {
            return IoctlAnswer::Failure(ENOENT);  // no such interface
        }
        return request == USBDEVFS_CLAIMINTERFACE ? ClaimInterface() : ReleaseInterface();
    }
    return IoctlAnswer::Failure(ENOTTY);
}

IoctlAnswer UsbfsRequests::SettingRequest(IoctlCall& call)
{
    const auto setting = ArgumentOf<usbdevfs_setinterface>(call);
    if (!setting) {
        return IoctlAnswer::Failure(EFAULT);
    }
    return setting->interface == 0 ? SetInterface(setting->altsetting) : IoctlAnswer::Failure(ENOENT);
}

IoctlAnswer UsbfsRequests::ControlRequest(IoctlCall& call)
{
    const auto transfer = ArgumentOf<usbdevfs_ctrltransfer>(call);
    if (!transfer) {
        return IoctlAnswer::Failure(EFAULT);
    }
    std::uint8_t* data = nullptr;
    if (transfer->wLength > 0) {
        data = call.Pointee(offsetof(usbdevfs_ctrltransfer, data), transfer->wLength);
        if (data == nullptr) {
            return IoctlAnswer::Failure(EFAULT);
        }
    }
    return Control(call, *transfer, data);
}

IoctlAnswer UsbfsRequests::DriverControl(IoctlCall& call)
{
    const auto command = ArgumentOf<usbdevfs_ioctl>(call);
    if (!command) {
        return IoctlAnswer::Failure(EFAULT);
    }
    if (command->ifno != 0) {
        return IoctlAnswer::Failure(EINVAL);
    }
    return command->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT) ? Disconnect() : IoctlAnswer::Failure(ENOTTY);
}

IoctlAnswer UsbfsRequests::GetDriver(IoctlCall& call)
{
    std::uint8_t* bytes = call.Argument(sizeof(usbdevfs_getdriver));
    if (bytes == nullptr) {
        return IoctlAnswer::Failure(EFAULT);
    }
    usbdevfs_getdriver query;
    std::memcpy(&query, bytes, sizeof query);
    if (query.interface != 0) {
        return IoctlAnswer::Failure(EINVAL);
    }
    const std::string driver = InterfaceDriver();
    if (driver.empty()) {
        return IoctlAnswer::Failure(ENODATA);
    }
    std::memset(query.driver, 0, sizeof query.driver);
    std::memcpy(query.driver, driver.data(), std::min(driver.size(), sizeof query.driver - 1));
    std::memcpy(bytes, &query, sizeof query);
    return IoctlAnswer::Success(0);
}

IoctlAnswer UsbfsRequests::ClaimRequest(IoctlCall& call)
{
    const auto request = ArgumentOf<usbdevfs_disconnect_claim>(call);
    if (!request) {
        return IoctlAnswer::Failure(EFAULT);
    }
    if (request->interface != 0) {
        return IoctlAnswer::Failure(EINVAL);
    }
    DriverCondition condition;
    condition.onlyNamed = (request->flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER) != 0;
    condition.exceptNamed = (request->flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) != 0;
    condition.named.assign(request->driver, strnlen(request->driver, sizeof request->driver));
    return DisconnectClaim(condition);
}

}  // namespace tarnix::sim
