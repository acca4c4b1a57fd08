#include "sim/usbrun/UsbInterfaceClaim.h"

namespace tarnix::sim {

bool UsbInterfaceClaim::Claim(Holder holder)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (holder_ != nullptr && holder_ != holder) {
        return false;
    }
    holder_ = holder;
    return true;
}

bool UsbInterfaceClaim::Release(Holder holder)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (holder_ == nullptr || holder_ != holder) {
        return false;
    }
    holder_ = nullptr;
    return true;
}

std::string UsbInterfaceClaim::Driver() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return holder_ != nullptr ? kUsbfsDriver : "";
}

bool UsbInterfaceClaim::Disconnect()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const bool held = holder_ != nullptr;
    holder_ = nullptr;
    return held;
}

bool UsbInterfaceClaim::DisconnectAndClaim(Holder holder,
                                           const std::function<bool(const std::string& driver)>& mayDetach)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (holder_ != nullptr && !mayDetach(kUsbfsDriver)) {
        return false;
    }
    holder_ = holder;
    return true;
}

}  // namespace tarnix::sim
