#pragma once

#include <string>
#include <vector>

namespace tarnix::bench {

// A private simulated bus folder for one benchmark: TARNIX_SIM_DIR points at it while the object lives, and
// the folder is removed with it.
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

    // The least work any look at the file-backed bus must do: list the folder and stat every sensor file
    // once. Answers the number of sensor files seen.
    int ScanFolder() const;
    // The least work of opening each plugged sensor by its path: one stat of its file each.
    void StatEachSensorFile() const;

private:
    std::string folder_;
    std::vector<std::string> sensorFiles_;
};

}  // namespace tarnix::bench
