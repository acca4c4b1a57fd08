// One device interface enumeration per interface class, as the device search makes it, with 1, 8 and 32
// virtual sensors of that class plugged in (and as many of the other personality beside them). Beside it,
// the least work any enumeration of the file-backed bus must do: list the bus folder and look at every
// sensor file once (one stat each). That scan is the floor the enumeration is compared with.
#include <benchmark/benchmark.h>

#include "bench/BenchmarkBus.h"
#include "platform/DeviceEnumerator.h"
#include "platform/Guid.h"

namespace {

using tarnix::bench::BenchmarkBus;
using tarnix::platform::DeviceEnumerator;
using tarnix::platform::Guid;

void Enumerate(benchmark::State& state, const Guid& interfaceClass) {
    const int count = static_cast<int>(state.range(0));
    BenchmarkBus bus;
    bus.PlugSensors(count, true);
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

void BM_ScanBusFolder(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    BenchmarkBus bus;
    bus.PlugSensors(count, true);
    for (auto _ : state) {
        if (bus.ScanFolder() != 2 * count) {
            state.SkipWithError("the scan missed sensor files");
            break;
        }
    }
}

BENCHMARK(BM_EnumerateHidInterfaces)->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EnumerateUsbDeviceInterfaces)->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanBusFolder)->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMicrosecond);

}  // namespace
