// One device interface enumeration per interface class, as the device search makes it, with 1, 8 and 32
// virtual sensors of that class plugged in (and as many of the other personality beside them). Beside it,
// the least work any enumeration of the file-backed bus must do: list the bus folder and look at every
// sensor file once (one stat each). That scan is the floor the enumeration is compared with.
//
// Run inside `tarnix-sim usb-run` the enumerations go through the real-bus backend (udev, sysfs) to the
// mirrored sensors; the benchmark then first waits until the mirror shows exactly the sensors it plugged
// (the previous benchmark's sensors gone). The folder scan means nothing there. On Linux every USB device is
// an interface of the USB device class (the root hub and the sensors in normal mode too), so what is counted
// are the interfaces whose hardware id is that of the sensor in the enumerated personality.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchmarkBus.h"
#include "platform/BackendFactories.h"
#include "io/Guid.h"

namespace {

using tarnix::bench::BenchmarkBus;
using tarnix::io::DeviceInterface;
using tarnix::io::Guid;
using tarnix::platform::ActiveDeviceEnumerator;

// The sensors among the interfaces of one class: in normal mode for the HID class, in DFU mode for the USB
// device class.
int SensorsAmong(const std::vector<DeviceInterface>& interfaces, const Guid& interfaceClass)
{
    const std::string pattern = interfaceClass == Guid::HidInterfaceClass() ? "VID_3C9E&PID_0101" : "VID_0483&PID_DF11";
    int sensors = 0;
    for (const DeviceInterface& interface : interfaces) {
        sensors += interface.hardwareId.find(pattern) != std::string::npos ? 1 : 0;
    }
    return sensors;
}

int SensorsShown(const Guid& interfaceClass)
{
    return SensorsAmong(ActiveDeviceEnumerator().PresentInterfaces(interfaceClass), interfaceClass);
}

// Whether the enumeration of both classes shows `count` sensors each within a few seconds: at once on the
// simulated bus, after the mirror's next pass inside usb-run.
bool BusShows(int count)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (SensorsShown(Guid::HidInterfaceClass()) != count || SensorsShown(Guid::UsbDeviceInterfaceClass()) != count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Enumerate(benchmark::State& state, const Guid& interfaceClass)
{
    const int count = static_cast<int>(state.range(0));
    BenchmarkBus bus;
    if (bus.Mirrored() && !BusShows(0)) {
        state.SkipWithError("sensors of an earlier run are still on the bus");
        return;
    }
    bus.PlugSensors(count, true);
    if (!BusShows(count)) {
        state.SkipWithError("the plugged sensors did not appear");
        return;
    }
    for (auto _ : state) {
        const auto interfaces = ActiveDeviceEnumerator().PresentInterfaces(interfaceClass);
        if (SensorsAmong(interfaces, interfaceClass) != count) {
            state.SkipWithError("the enumeration missed sensors");
            break;
        }
        benchmark::DoNotOptimize(interfaces.data());
    }
}

void BM_EnumerateHidInterfaces(benchmark::State& state) { Enumerate(state, Guid::HidInterfaceClass()); }
void BM_EnumerateUsbDeviceInterfaces(benchmark::State& state) { Enumerate(state, Guid::UsbDeviceInterfaceClass()); }

void BM_ScanBusFolder(benchmark::State& state)
{
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
