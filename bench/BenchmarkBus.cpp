#include "bench/BenchmarkBus.h"

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>

#include "sim/bus/SimBus.h"

namespace tarnix::bench {

namespace {

// The bus folder usb-run mirrors, when this process runs inside it.
const char* MirroredFolder()
{
    const char* bus = std::getenv("TARNIX_BUS");
    const char* folder = std::getenv("TARNIX_SIM_DIR");
    return bus != nullptr && std::string_view(bus) == "usb" && folder != nullptr && *folder != '\0' ? folder : nullptr;
}

}  // namespace

BenchmarkBus::BenchmarkBus()
{
    if (const char* mirrored = MirroredFolder()) {
        folder_ = mirrored;
        mirrored_ = true;
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-sim-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a bus folder under " + pattern);
    }
    folder_ = pattern;
    ::setenv("TARNIX_SIM_DIR", folder_.c_str(), 1);
}

BenchmarkBus::~BenchmarkBus()
{
    if (mirrored_) {
        sim::SimBus bus(folder_);
        for (const std::string& serial : serials_) {
            try {
                bus.Unplug(serial);
            } catch (const std::exception&) {
                // Already gone: nothing is left to unplug.
            }
        }
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    ::unsetenv("TARNIX_SIM_DIR");
}

void BenchmarkBus::PlugSensors(int count, bool alsoInDfuMode)
{
    sim::SimBus bus(folder_);
    const auto plug = [&](sim::SensorMode mode) {
        sim::SensorState prototype;
        prototype.mode = mode;
        serials_.push_back(bus.Plug(prototype));
    };
    for (int i = 0; i < count; ++i) {
        plug(sim::SensorMode::Normal);
        if (alsoInDfuMode) {
            plug(sim::SensorMode::Dfu);
        }
    }
}

int BenchmarkBus::ScanFolder() const
{
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

}  // namespace tarnix::bench
