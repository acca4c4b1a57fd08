#include "sim/host/SimulatedDeviceEnumerator.h"

#include "sim/bus/SimBus.h"

namespace tarnix::sim {

std::vector<io::DeviceInterface> SimulatedDeviceEnumerator::PresentInterfaces(const io::Guid& interfaceClass) const
{
    std::vector<io::DeviceInterface> interfaces;
    for (const DeviceInterfaceRecord& record : SimBus().Enumerate(interfaceClass.ToString())) {
        interfaces.push_back(
            {record.devicePath, record.hardwareId, io::Guid::Parse(record.setupClass).value_or(io::Guid())});
    }
    return interfaces;
}

}  // namespace tarnix::sim
