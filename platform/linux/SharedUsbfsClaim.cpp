#include "platform/linux/SharedUsbfsClaim.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <utility>

namespace tarnix::platform {

namespace {

// The driver name under which the kernel shows an interface claimed through usbfs.
constexpr const char* kUsbfsDriver = "usbfs";

using ClaimKey = std::pair<std::string, std::uint8_t>;

std::mutex& RegistryMutex()
{
    static std::mutex mutex;
    return mutex;
}

// The claims of this process by device path and interface number.
std::map<ClaimKey, std::weak_ptr<SharedUsbfsClaim>>& Registry()
{
    static std::map<ClaimKey, std::weak_ptr<SharedUsbfsClaim>> claims;
    return claims;
}

}  // namespace

std::shared_ptr<SharedUsbfsClaim> SharedUsbfsClaim::Acquire(const std::string& devicePath, std::uint8_t interfaceNumber)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto& registry = Registry();
    const ClaimKey key{devicePath, interfaceNumber};
    const auto known = registry.find(key);
    if (known != registry.end()) {
        if (std::shared_ptr<SharedUsbfsClaim> held = known->second.lock(); held && held->DeviceStillThere()) {
            return held;
        }
        registry.erase(known);
    }
    io::FileDescriptor node = io::FileDescriptor::Open(devicePath.c_str(), O_RDWR);
    if (!node.IsValid()) {
        return nullptr;
    }
    auto claim = std::make_shared<SharedUsbfsClaim>(std::move(node), interfaceNumber);
    if (!claim->Claim()) {
        return nullptr;
    }
    registry[key] = claim;
    return claim;
}

SharedUsbfsClaim::SharedUsbfsClaim(io::FileDescriptor node, std::uint8_t interfaceNumber)
    : node_(std::move(node)), interfaceNumber_(interfaceNumber)
{
}

SharedUsbfsClaim::~SharedUsbfsClaim()
{
    if (claimed_) {
        unsigned int interface = interfaceNumber_;
        ::ioctl(node_.Get(), USBDEVFS_RELEASEINTERFACE, &interface);
    }
}

// One request detaches a kernel driver bound to the interface and claims it, in one step under the kernel's
// lock. It excepts the driver "usbfs", which is how the kernel shows another program's claim: that claim is
// never taken away, the request fails with EBUSY instead.
bool SharedUsbfsClaim::Claim()
{
    usbdevfs_disconnect_claim claim{};
    claim.interface = interfaceNumber_;
    claim.flags = USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER;
    std::strncpy(claim.driver, kUsbfsDriver, sizeof claim.driver - 1);
    if (::ioctl(node_.Get(), USBDEVFS_DISCONNECT_CLAIM, &claim) < 0) {
        return false;
    }
    claimed_ = true;
    usbdevfs_setinterface setting{interfaceNumber_, 0};
    return ::ioctl(node_.Get(), USBDEVFS_SETINTERFACE, &setting) >= 0;
}

bool SharedUsbfsClaim::DeviceStillThere() const
{
    usbdevfs_connectinfo information{};
    return ::ioctl(node_.Get(), USBDEVFS_CONNECTINFO, &information) >= 0 || errno != ENODEV;
}

}  // namespace tarnix::platform
