#pragma once

#include <string>
#include <vector>

namespace tarnix::bench {

// A private simulated bus folder for one benchmark: TARNIX_SIM_DIR points at it while the object lives, and
// the folder is removed with it. Inside `tarnix-sim usb-run` (TARNIX_BUS=usb) the benchmark must use the bus
// folder that usb-run mirrors to the real-bus backend instead: the sensors are plugged into it and unplugged
// again when the object goes, and the folder stays.
class BenchmarkBus {
public:
    BenchmarkBus();
    ~BenchmarkBus();

    BenchmarkBus(const BenchmarkBus&) = delete;
    BenchmarkBus& operator=(const BenchmarkBus&) = delete;

    // Plugs `count` sensors with the default identity in normal mode and, when `alsoInDfuMode` is set, as
    // many in DFU mode beside them.
    void PlugSensors(int count, bool alsoInDfuMode);

    const std::string& Folder() const { return folder_; }
    // Whether the bus is the one usb-run mirrors, seen through the real-bus backend.
    bool Mirrored() const { return mirrored_; }

    // The least work any look at the file-backed bus must do: list the folder and stat every sensor file
    // once. Answers the number of sensor files seen.
    int ScanFolder() const;

private:
    std::string folder_;
    bool mirrored_ = false;
    std::vector<std::string> serials_;
};

}  // namespace tarnix::bench
