#pragma once

#include <cstdint>
#include <string>
#include <linux/usbdevice_fs.h>

#include "sim/testbed/IoctlCall.h"

namespace tarnix::sim {

// The device side of an open usbfs node of a device with one interface (number 0): the usbfs ioctls a
// program makes are read out of its memory and handed to the device one request at a time, as the kernel's
// usbfs hands them on. An argument that cannot be read fails with EFAULT, a request to another interface
// with ENOENT (claim, release, alternate setting) or EINVAL (driver requests), as the kernel answers, and an
// ioctl usbfs does not have with ENOTTY. The driver query answers the driver bound to the interface (ENODATA
// for none).
class UsbfsRequests {
public:
    virtual ~UsbfsRequests() = default;

    IoctlAnswer Serve(IoctlCall& call);

protected:
    // The conditions of a disconnect-and-claim on the driver bound to the interface.
    struct DriverCondition {
        bool onlyNamed = false;    // detach only the named driver
        bool exceptNamed = false;  // detach any driver but the named one
        std::string named;

        bool AllowsDetaching(const std::string& bound) const;
    };

    // A control transfer; `data` is the caller's `transfer.wLength` bytes (nullptr when there are none).
    // The call may be moved away and completed later.
    virtual IoctlAnswer Control(IoctlCall& call, const usbdevfs_ctrltransfer& transfer, std::uint8_t* data) = 0;
    virtual IoctlAnswer ClaimInterface() = 0;
    virtual IoctlAnswer ReleaseInterface() = 0;
    virtual IoctlAnswer SetInterface(unsigned int setting) = 0;
    // The plain disconnect of whatever driver holds the interface.
    virtual IoctlAnswer Disconnect() = 0;
    virtual IoctlAnswer DisconnectClaim(const DriverCondition& condition) = 0;
    // The driver bound to the interface as the kernel names it ("usbfs" while a program holds it); empty
    // for none.
    virtual std::string InterfaceDriver() = 0;

private:
    IoctlAnswer ControlRequest(IoctlCall& call);
    IoctlAnswer DriverControl(IoctlCall& call);
    IoctlAnswer GetDriver(IoctlCall& call);
    IoctlAnswer ClaimRequest(IoctlCall& call);
    IoctlAnswer SettingRequest(IoctlCall& call);
};

}  // namespace tarnix::sim
