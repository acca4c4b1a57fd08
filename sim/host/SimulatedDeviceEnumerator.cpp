#include "sim/host/SimulatedDeviceEnumerator.h"

#include "sim/bus/SimBus.h"

namespace tarnix::platform {

std::vector<DeviceInterface> SimulatedDeviceEnumerator::PresentInterfaces(const io::Guid& interfaceClass)
{
    std::vector<DeviceInterface> interfaces;
    for (const sim::DeviceInterfaceRecord& record : sim::SimBus().Enumerate(interfaceClass.ToString())) {
        interfaces.push_back(
            {record.devicePath, record.hardwareId, io::Guid::Parse(record.setupClass).value_or(io::Guid())});
    }
    return interfaces;
}

}  // namespace tarnix::platform
