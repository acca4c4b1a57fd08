#include "platform/DfuTransport.h"

#include "platform/BusSelection.h"
#include "platform/linux/UsbfsDfuTransport.h"
#include "platform/sim/SimulatedDfuTransport.h"

namespace tarnix::platform {

std::unique_ptr<DfuTransport> DfuTransport::Open(const std::string& devicePath) {
    if (BusSelection::Active() == Bus::Simulated) {
        return SimulatedDfuTransport::Open(devicePath);
    }
    return UsbfsDfuTransport::Open(devicePath);
}

}  // namespace tarnix::platform
