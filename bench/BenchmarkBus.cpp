#include "bench/BenchmarkBus.h"

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

#include "sim/SimBus.h"

namespace tarnix::bench {

BenchmarkBus::BenchmarkBus() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-sim-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a bus folder under " + pattern);
    }
    folder_ = pattern;
    ::setenv("TARNIX_SIM_DIR", folder_.c_str(), 1);
}

BenchmarkBus::~BenchmarkBus() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    ::unsetenv("TARNIX_SIM_DIR");
}

void BenchmarkBus::PlugSensors(int count, bool alsoInDfuMode) {
    sim::SimBus bus(folder_);
    for (int i = 0; i < count; ++i) {
        sim::SensorState normal;
        normal.mode = sim::SensorMode::Normal;
        sensorFiles_.push_back(folder_ + "/" + bus.Plug(normal) + ".sensor");
        if (alsoInDfuMode) {
            sim::SensorState dfu;
            dfu.mode = sim::SensorMode::Dfu;
            sensorFiles_.push_back(folder_ + "/" + bus.Plug(dfu) + ".sensor");
        }
    }
}

int BenchmarkBus::ScanFolder() const {
    constexpr std::string_view kSuffix = ".sensor";
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder_.c_str()), ::closedir);
    int seen = 0;
    while (const dirent* entry = directory ? ::readdir(directory.get()) : nullptr) {
        const std::string_view name = entry->d_name;
        if (name.size() > kSuffix.size() && name.substr(name.size() - kSuffix.size()) == kSuffix) {
            struct stat info {};
            seen += ::stat((folder_ + "/" + std::string(name)).c_str(), &info) == 0 ? 1 : 0;
        }
    }
    return seen;
}

void BenchmarkBus::StatEachSensorFile() const {
    for (const std::string& file : sensorFiles_) {
        struct stat info {};
        ::stat(file.c_str(), &info);
    }
}

}  // namespace tarnix::bench
