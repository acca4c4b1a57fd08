// One device interface enumeration per interface class, as the device search makes it, with 1, 8 and 32
// virtual sensors of that class plugged in (and as many of the other personality beside them).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/DeviceEnumerator.h"
#include "platform/Guid.h"
#include "sim/SimBus.h"

namespace {

using tarnix::platform::DeviceEnumerator;
using tarnix::platform::Guid;

// A private bus folder holding `count` sensors in each mode, removed when the benchmark ends.
class BenchmarkBus {
public:
    explicit BenchmarkBus(int count) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-sim-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            folder_ = pattern;
        }
        ::setenv("TARNIX_SIM_DIR", folder_.c_str(), 1);
        tarnix::sim::SimBus bus(folder_);
        for (int i = 0; i < count; ++i) {
            for (auto mode : {tarnix::sim::SensorMode::Normal, tarnix::sim::SensorMode::Dfu}) {
                tarnix::sim::SensorState prototype;
                prototype.mode = mode;
                bus.Plug(prototype);
            }
        }
    }
    ~BenchmarkBus() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        ::unsetenv("TARNIX_SIM_DIR");
    }

private:
    std::string folder_;
};

void Enumerate(benchmark::State& state, const Guid& interfaceClass) {
    const int count = static_cast<int>(state.range(0));
    BenchmarkBus bus(count);
    for (auto _ : state) {
        const auto interfaces = DeviceEnumerator::PresentInterfaces(interfaceClass);
        if (static_cast<int>(interfaces.size()) != count) {
            state.SkipWithError("the enumeration missed sensors");
            break;
        }
        benchmark::DoNotOptimize(interfaces.data());
    }
}

void BM_EnumerateHidInterfaces(benchmark::State& state) { Enumerate(state, Guid::HidInterfaceClass()); }
void BM_EnumerateUsbDeviceInterfaces(benchmark::State& state) { Enumerate(state, Guid::UsbDeviceInterfaceClass()); }

BENCHMARK(BM_EnumerateHidInterfaces)->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EnumerateUsbDeviceInterfaces)->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);

}  // namespace
