#include "platform/BusSelection.h"

#include <cstdlib>
#include <cstring>

namespace tarnix::platform {

Bus BusSelection::Active()
{
    static const Bus bus = Choose(std::getenv("TARNIX_BUS"), std::getenv("TARNIX_SIM_DIR"));
    return bus;
}

Bus BusSelection::Choose(const char* busVariable, const char* simFolderVariable)
{
    if (busVariable != nullptr && std::strcmp(busVariable, "usb") == 0) {
        return Bus::Usb;
    }
    if (busVariable != nullptr && std::strcmp(busVariable, "sim") == 0) {
        return Bus::Simulated;
    }
    // Unset or an unknown value: a named simulated bus folder means the simulated bus.
    return simFolderVariable != nullptr && *simFolderVariable != '\0' ? Bus::Simulated : Bus::Usb;
}

}  // namespace tarnix::platform
