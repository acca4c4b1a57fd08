#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/sensor/FlashMemory.h"
#include "sim/sensor/SensorState.h"

namespace tarnix::sim {

// The bus folder: one "SERIAL.sensor" state file and one "SERIAL.flash" image per virtual sensor, and the
// lock file of the bus. Loading never throws: a missing sensor gives nothing, a damaged one gives nothing
// and one warning on standard error.
class SensorStore {
public:
    // $TARNIX_SIM_DIR, else ${XDG_RUNTIME_DIR:-/tmp}/tarnix-sim-UID.
    static std::string DefaultFolder();

    SensorStore();
    explicit SensorStore(std::string folder);

    const std::string& Folder() const { return folder_; }
    bool EnsureFolder() const;
    bool Exists(const std::string& serial) const;

    std::optional<SensorState> Load(const std::string& serial) const;
    // Every readable sensor, in the order they were plugged in.
    std::vector<SensorState> LoadAll() const;
    bool Save(const SensorState& state) const;
    std::optional<FlashMemory> LoadFlash(const std::string& serial) const;
    bool SaveFlash(const std::string& serial, const FlashMemory& flash) const;
    bool Remove(const std::string& serial) const;
    // The serials of every sensor file in the folder, readable or not.
    std::vector<std::string> Serials() const;

private:
    std::string StatePath(const std::string& serial) const;
    std::string FlashPath(const std::string& serial) const;

    std::string folder_;
};

}  // namespace tarnix::sim
