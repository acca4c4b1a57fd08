#pragma once

#include <optional>
#include <string_view>

namespace tarnix::platform {

// Which bus the device enumeration, HID traffic and DFU traffic of this process go to.
enum class Bus { Simulated, Usb };

// The bus is chosen once per process from the environment: TARNIX_BUS=usb or TARNIX_BUS=sim; when
// TARNIX_BUS is unset, the simulated bus when TARNIX_SIM_DIR is set, else the real USB bus.
class BusSelection {
public:
    // The bus of this process, read from the environment on the first call and kept from then on.
    static Bus Active();

    // The rule itself, for given values of TARNIX_BUS and TARNIX_SIM_DIR (nullptr: unset).
    static Bus Choose(const char* busVariable, const char* simFolderVariable);
};

}  // namespace tarnix::platform
