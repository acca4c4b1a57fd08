#include "platform/linux/UdevDeviceEnumerator.h"

#include "platform/linux/UdevInterfaceCache.h"

namespace tarnix::platform {

std::vector<io::DeviceInterface> UdevDeviceEnumerator::PresentInterfaces(const io::Guid& interfaceClass) const
{
    if (interfaceClass == io::Guid::HidInterfaceClass()) {
        return UdevInterfaceCache::Instance().HidInterfaces();
    }
    if (interfaceClass == io::Guid::UsbDeviceInterfaceClass()) {
        return UdevInterfaceCache::Instance().UsbDevices();
    }
    return {};
}

}  // namespace tarnix::platform
