// CPU used by the device search thread of the application model while idle sensors stay plugged in: the
// model's search is started, every sensor is announced, and then the process's CPU time is read over the
// measuring window while the main thread only sleeps.
//
// The floor is the work the device search must do by design, done by a bare thread on the same bus for the
// same window: every pass makes one enumeration for new DFU devices, one for a new sensor and one for the
// vanished-sensor check (no DFU device is registered, and registered sensors are not probed), then pauses
// 50 ms. An enumeration is done at its least cost: list the folder, stat every sensor file.
//
// Inside `tarnix-sim usb-run` the sensors are plugged into the bus usb-run mirrors and the search goes
// through the real-bus backend; the floor, made of folder scans, then belongs to the simulated bus only.
//
// Usage: tarnix_bench_search_cpu [sensors] [seconds]; prints "cpu_percent <measured> <floor>".
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/BenchmarkBus.h"
#include "core/ApplicationModel.h"
#include "core/ApplicationModelEvents.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPassPause = std::chrono::milliseconds(50);

class CountingEvents : public ApplicationModelEvents {
public:
    void OnNewDevice(std::string, std::string, bool) override { ++newDevices; }
    void OnDeviceDisconnected(std::string) override {}
    void OnErrorConnectingToDevice(TpError::Exception&) override { ++errors; }
    void OnUpdateProgress(int) override {}
    void OnWriteFirmwareFinished() override {}
    void OnBadFirmwareFile() override {}
    void OnFirmwareFileChecked(bool, std::string&) override {}
    void OnFailedFirmwareFileCheck() override {}
    void OnWriteFirmwareFailed() override {}
    void OnLeaveDfuModeResult(bool) override {}
    void OnIncompatibleDfuDrivers() override {}

    std::atomic<int> newDevices{0};
    std::atomic<int> errors{0};
};

double CpuMs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double PercentOfOneCore(double cpuMs, Clock::time_point since)
{
    return 100.0 * cpuMs / std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

bool WaitForAnnouncements(const CountingEvents& events, int expected)
{
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (events.newDevices < expected && events.errors == 0) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return events.errors == 0;
}

// Per cent of one core that the model's search thread uses with every sensor announced.
double SearchThreadPercent(int sensors, int seconds)
{
    CountingEvents events;
    ApplicationModel model(&events);
    model.StartSearchThread();
    if (!WaitForAnnouncements(events, sensors)) {
        model.EndSearch();
        throw std::runtime_error("the search announced " + std::to_string(events.newDevices.load()) + " of " +
                                 std::to_string(sensors) + " sensors");
    }
    const double cpuBefore = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double percent = PercentOfOneCore(CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore, wallBefore);
    model.EndSearch();
    return percent;
}

// Per cent of one core that a bare thread doing only the mandated work of each pass uses.
double FloorPercent(const tarnix::bench::BenchmarkBus& bus, int seconds)
{
    double percent = 0;
    std::thread floor([&] {
        const double cpuBefore = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        const auto wallBefore = Clock::now();
        const auto end = wallBefore + std::chrono::seconds(seconds);
        while (Clock::now() < end) {
            for (int enumeration = 0; enumeration < 3; ++enumeration) {
                bus.ScanFolder();
            }
            std::this_thread::sleep_for(kPassPause);
        }
        percent = PercentOfOneCore(CpuMs(CLOCK_THREAD_CPUTIME_ID) - cpuBefore, wallBefore);
    });
    floor.join();
    return percent;
}

}  // namespace

int main(int argc, char** argv)
{
    const int sensors = argc > 1 ? std::atoi(argv[1]) : 4;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    if (sensors < 1 || seconds < 1) {
        std::fprintf(stderr, "usage: %s [sensors >= 1] [seconds >= 1]\n", argv[0]);
        return 2;
    }
    try {
        tarnix::bench::BenchmarkBus bus;
        bus.PlugSensors(sensors, false);
        const double measured = SearchThreadPercent(sensors, seconds);
        std::printf("cpu_percent %.4f %.4f\n", measured, FloorPercent(bus, seconds));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
