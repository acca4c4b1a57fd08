// The OS handles of devices that come and go: a record may live on after its device has gone, but its HID
// interface or DFU session is closed, so the process's descriptor count stays flat however many sensors are
// plugged, unplugged, switched to DFU mode and back. The tests run on the simulated bus; those of single
// devices and the cycle tests run once more on the real-bus backend inside `tarnix-sim usb-run`
// (tests/core/CMakeLists.txt), where the bus folder is the one usb-run mirrors.

#include "core/ApplicationModel.h"
#include "core/DeviceFinder.h"
#include "core/DeviceHandler.h"
#include "core/Dfu.h"
#include "core/DfuDevice.h"
#include "core/Parameters.h"
#include "core/STDFU.h"
#include "core/SensorDevice.h"
#include "core/TpError.h"
#include "core/UsbHandler.h"
#include "io/DeviceEnumerator.h"
#include "platform/BackendFactories.h"
#include "io/Guid.h"

#include "sim/bus/SimBus.h"
#include "tests/support/SimulatedBus.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using tarnix::sim::SensorMode;
using Clock = std::chrono::steady_clock;

constexpr auto kAppearanceLimit = std::chrono::seconds(10);
// Descriptors a cycle may open for a moment beyond those open between cycles (enumeration, bus files, the
// device's own handle).
constexpr rlim_t kHeadroom = 16;

// Whether the test runs on the real-bus backend inside usb-run.
bool InsideTestBed()
{
    const char* const backend = std::getenv("TARNIX_BUS");
    return backend != nullptr && std::string(backend) == "usb";
}

// The descriptors open in this process other than sockets, and the highest number of all. A device handle is
// never a socket on either backend; inside usb-run, umockdev's preload opens a socket beside every node the
// program opens, for as long as the node is open, which is the test bed's own descriptor, not the program's.
struct Descriptors {
    int count = 0;
    int highest = -1;
    std::string targets;  // what each one is open on, for the failure message
};

Descriptors OpenDescriptors()
{
    Descriptors open;
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) {
        ADD_FAILURE() << "/proc/self/fd cannot be read";
        return open;
    }
    const int own = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        const int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] == '.' || fd == own) {
            continue;
        }
        open.highest = std::max(open.highest, fd);
        char target[256] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        if (length > 0 && std::string(target).rfind("socket:", 0) == 0) {
            continue;
        }
        ++open.count;
        open.targets += std::string(entry->d_name) + "=" + (length > 0 ? target : "?") + " ";
    }
    ::closedir(folder);
    return open;
}

// Lowers the soft descriptor limit to what is open now plus a little headroom for as long as it lives, so
// that a descriptor kept per cycle exhausts it within a few cycles.
class LowDescriptorLimit {
public:
    LowDescriptorLimit()
    {
        ::getrlimit(RLIMIT_NOFILE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = static_cast<rlim_t>(OpenDescriptors().highest + 1) + kHeadroom;
        applied = lowered.rlim_cur < saved.rlim_cur && ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~LowDescriptorLimit()
    {
        if (applied) {
            ::setrlimit(RLIMIT_NOFILE, &saved);
        }
    }
    LowDescriptorLimit(const LowDescriptorLimit&) = delete;
    LowDescriptorLimit& operator=(const LowDescriptorLimit&) = delete;

    bool Applied() const { return applied; }

private:
    rlimit saved{};
    bool applied = false;
};

class HandleLifetimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Inside usb-run the bus is the one it mirrors, named by the inherited variable.
        const char* const mirrored = std::getenv("TARNIX_SIM_DIR");
        if (InsideTestBed() && mirrored != nullptr) {
            busFolder = mirrored;
        } else {
            privateBus = std::make_unique<tarnix::test::SimulatedBus>();
            busFolder = privateBus->Folder();
        }
        registry->ClearDeviceMaps();
        registry->ClearRemovedDeviceVectors();
    }

    void TearDown() override
    {
        Bus().UnplugAll();
        registry->ClearDeviceMaps();
        registry->ClearRemovedDeviceVectors();
    }

    tarnix::sim::SimBus Bus() const { return tarnix::sim::SimBus(busFolder); }

    // The bus's sensors as "serial path present", for failure messages.
    std::string BusListing() const
    {
        std::string text;
        for (const tarnix::sim::SensorListing& listing : Bus().List()) {
            text += listing.serial + " " + (listing.devicePath.empty() ? "-" : listing.devicePath) + " " +
                    (listing.present ? "present" : "absent") + "; ";
        }
        return text;
    }

    std::string Plug(SensorMode mode) const
    {
        tarnix::sim::SensorState prototype = tarnix::test::SimulatedBus::QuickSensor();
        prototype.mode = mode;
        return Bus().Plug(prototype);
    }

    // Waits until the bus lists a sensor interface of the class (HID: normal mode, else DFU mode) and every
    // such interface listed can be opened. The test bed of usb-run adds a device's entries and node in
    // steps, as the kernel does, and discovery and the operations open what is listed; so each step of a
    // cycle goes on only once what it will open is complete. The cycles run one sensor at a time, so
    // nothing else appears meanwhile.
    static bool WaitUntilOpenable(bool hid)
    {
        const auto end = Clock::now() + kAppearanceLimit;
        while (Clock::now() < end) {
            if (AllOpenable(hid)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ADD_FAILURE() << "no sensor interface that opens";
        return false;
    }

    static bool AllOpenable(bool hid)
    {
        using tarnix::io::Guid;
        const Guid interfaceClass = hid ? Guid::HidInterfaceClass() : Guid::UsbDeviceInterfaceClass();
        const std::string identifiers = hid ? "VID_3C9E&PID_0101" : "VID_0483&PID_DF11";
        bool listed = false;
        for (const auto& found : tarnix::platform::ActiveDeviceEnumerator().PresentInterfaces(interfaceClass)) {
            if (found.hardwareId.find(identifiers) == std::string::npos) {
                continue;
            }
            listed = true;
            const bool opens = hid ? tarnix::platform::OpenHidDevice(
                                         found.devicePath, tarnix::io::HidDevice::Access::ReadWrite) != nullptr
                                   : tarnix::platform::OpenDfuTransport(found.devicePath) != nullptr;
            if (!opens) {
                return false;
            }
        }
        return listed;
    }

    // One pass of discovery as the device search makes it, without its pause.
    static void DiscoveryPass()
    {
        std::vector<std::string> newNames;
        bool incompatible = false;
        DeviceFinder::FindDfuDevice(newNames, incompatible);
        std::string name;
        DeviceFinder::FindSensorHidDevice(name);
        DeviceFinder::UpdateFoundDevices();
    }

    // Runs discovery until `done` holds; false when it does not within the limit or discovery throws.
    static bool DiscoverUntil(const std::function<bool()>& done)
    {
        const auto end = Clock::now() + kAppearanceLimit;
        try {
            while (Clock::now() < end) {
                DiscoveryPass();
                if (done()) {
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        } catch (const TpError::Exception& error) {
            ADD_FAILURE() << "discovery failed: " << error.what();
        }
        return false;
    }

    // The name of the one registered sensor (DFU device), once discovery has registered it.
    std::string WaitForSensor() const
    {
        std::string name;
        WaitUntilOpenable(true);
        DiscoverUntil([&] { return OnlyName(registry->GetSensorDeviceMap(), name); });
        return name;
    }
    std::string WaitForDfuDevice() const
    {
        std::string name;
        WaitUntilOpenable(false);
        DiscoverUntil([&] { return OnlyName(registry->GetDfuDeviceMap(), name); });
        return name;
    }
    bool WaitUntilNothingIsRegistered() const
    {
        return DiscoverUntil(
            [&] { return registry->GetSensorDeviceMap().empty() && registry->GetDfuDeviceMap().empty(); });
    }

    // The entries of a registry map as name and record, without the record's own type.
    template <typename Map>
    static std::vector<std::pair<std::string, const Device*>> Records(const Map& devices)
    {
        return {devices.begin(), devices.end()};
    }

    template <typename Map>
    static bool OnlyName(const Map& devices, std::string& name)
    {
        if (devices.size() != 1) {
            return false;
        }
        name = devices.begin()->first;
        return true;
    }

    // Runs `cycle` the given number of times under a low descriptor limit; the count after each cycle
    // must not exceed the count after the first one (which opens what lives for the whole process:
    // libraries, caches).
    void RunCyclesWithFlatDescriptorCount(int cycles, const std::function<bool(int)>& cycle)
    {
        const LowDescriptorLimit limit;
        ASSERT_TRUE(limit.Applied());
        ASSERT_TRUE(cycle(0)) << "first cycle";
        const Descriptors settled = OpenDescriptors();
        for (int index = 1; index < cycles; ++index) {
            ASSERT_TRUE(cycle(index)) << "cycle " << index;
            const Descriptors now = OpenDescriptors();
            ASSERT_LE(now.count, settled.count) << "descriptors kept after cycle " << index << ": " << now.targets
                                                << "; after the first: " << settled.targets;
        }
    }

    // The switch request of a sensor in normal mode, sent through its registered record's HID handle.
    static bool SendSwitchToDfu(SensorDevice* sensor)
    {
        unsigned char report[] = {0x80, 0x00};
        return sensor != nullptr && UsbHandler::GetInstance()->SetFeatureReport(sensor, report, sizeof(report));
    }

    std::unique_ptr<tarnix::test::SimulatedBus> privateBus;
    std::string busFolder;
    DeviceHandler* const registry = DeviceHandler::GetInstance();
};

// ---- Records that leave the registry ----

TEST_F(HandleLifetimeTest, AGoneSensorsHidInterfaceClosesOnceNoFeatureReportUsesIt)
{
    const std::string serial = Plug(SensorMode::Normal);
    const std::string name = WaitForSensor();
    SensorDevice* const sensor = registry->GetSensorDevice(name);
    ASSERT_NE(sensor, nullptr);
    const std::weak_ptr<tarnix::io::HidDevice> opened = sensor->GetHidDeviceHandle();
    ASSERT_FALSE(opened.expired());

    // A feature report in progress on another thread holds the interface while discovery drops the sensor.
    SensorDevice::HidHandle inProgress = sensor->GetHidDeviceHandle();
    Bus().Unplug(serial);
    ASSERT_TRUE(WaitUntilNothingIsRegistered());
    EXPECT_FALSE(opened.expired()) << "closed under the operation still using it";
    EXPECT_EQ(sensor->GetHidDeviceHandle(), nullptr);
    EXPECT_FALSE(sensor->GetIsConnected());
    EXPECT_EQ(sensor->GetUsbDevicePath(), name) << "the record itself lives on";

    inProgress.reset();
    EXPECT_TRUE(opened.expired());
}

TEST_F(HandleLifetimeTest, ClearingTheNamesClosesTheHandlesOfTheRecordsDropped)
{
    Plug(SensorMode::Normal);
    SensorDevice* const sensor = registry->GetSensorDevice(WaitForSensor());
    ASSERT_NE(sensor, nullptr);
    const std::weak_ptr<tarnix::io::HidDevice> opened = sensor->GetHidDeviceHandle();
    ASSERT_FALSE(opened.expired());

    registry->ClearDeviceMaps();
    EXPECT_TRUE(opened.expired());
    EXPECT_FALSE(sensor->GetIsConnected());
}

TEST_F(HandleLifetimeTest, TheSessionALeaveKeepsOpenIsClosedOnceTheBootloaderHasGone)
{
    Plug(SensorMode::Dfu);
    DfuDevice* const device = registry->GetDfuDevice(WaitForDfuDevice());
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(Dfu::GetInstance().LeaveDFUMode(device));
    void* session = *device->GetDfuDeviceHandle();
    ASSERT_NE(session, nullptr) << "the leave keeps the device open";
    EXPECT_TRUE(device->GetIsConnected());

    ASSERT_FALSE(WaitForSensor().empty()) << "the sensor is back in normal mode";
    ASSERT_TRUE(registry->GetDfuDeviceMap().empty());
    EXPECT_EQ(*device->GetDfuDeviceHandle(), nullptr);
    EXPECT_FALSE(device->GetIsConnected());
    Dfuse::DFUSTATUS status{};
    EXPECT_FALSE(STDFU().GetStatus(&session, &status)) << "the library no longer knows the session";
}

TEST_F(HandleLifetimeTest, ASecondOpenClosesTheSessionTheRecordStillHolds)
{
    const std::string serial = Plug(SensorMode::Dfu);
    DfuDevice* const device = registry->GetDfuDevice(WaitForDfuDevice());
    ASSERT_NE(device, nullptr);
    // A leave that fails leaves the device open.
    Bus().SetFault(serial, tarnix::sim::Fault::Leave);
    EXPECT_THROW(Dfu::GetInstance().LeaveDFUMode(device), TpError::FailedToLeaveDfuMode);
    void* stale = *device->GetDfuDeviceHandle();
    ASSERT_NE(stale, nullptr);

    Bus().SetFault(serial, tarnix::sim::Fault::None);
    std::vector<char> buffer(Dfu::parameterAreaSize, 0);
    EXPECT_TRUE(Dfu::GetInstance().ReadParameters(device, buffer.data(), Dfu::parameterAreaSize));
    Dfuse::DFUSTATUS status{};
    EXPECT_FALSE(STDFU().GetStatus(&stale, &status)) << "the earlier session was overwritten, not closed";
}

// ---- Many devices coming and going, under a low descriptor limit ----

TEST_F(HandleLifetimeTest, HundredsOfPlugAndUnplugCyclesKeepTheDescriptorCountFlat)
{
    RunCyclesWithFlatDescriptorCount(200, [this](int) {
        const std::string serial = Plug(SensorMode::Normal);
        SensorDevice* const sensor = registry->GetSensorDevice(WaitForSensor());
        const bool opened = sensor != nullptr && sensor->GetIsConnected();
        Bus().Unplug(serial);
        return opened && WaitUntilNothingIsRegistered();
    });
}

TEST_F(HandleLifetimeTest, HundredsOfSwitchReadLeaveCyclesKeepTheDescriptorCountFlat)
{
    Plug(SensorMode::Normal);
    ApplicationModel model;
    RunCyclesWithFlatDescriptorCount(200, [&](int) {
        if (!SendSwitchToDfu(registry->GetSensorDevice(WaitForSensor()))) {
            return false;
        }
        const std::string dfuName = WaitForDfuDevice();
        Parameters parameters;
        model.Upload(dfuName, parameters);
        model.LeaveDfuMode(dfuName);
        return parameters.geometry.has_value() && !WaitForSensor().empty() && registry->GetDfuDeviceMap().empty();
    });
}

// The device search drops records on its own thread while this thread switches, reads and leaves: the
// records' handles are closed without a race and without pulling one from under the operation using it.
TEST_F(HandleLifetimeTest, TheSearchThreadDropsRecordsWhileOperationsUseThem)
{
    Plug(SensorMode::Normal);
    ApplicationModel model;
    model.StartSearchThread();
    // The search must have ended before the model goes, also when an assertion ends the test early.
    const std::unique_ptr<ApplicationModel, void (*)(ApplicationModel*)> ending(
        &model, [](ApplicationModel* searching) { searching->EndSearch(); });
    // Each appearance gets a record of its own. The simulated bus gives a device the same name in every
    // appearance, so a step waits until the search has also dropped the device of the other mode: a device
    // that came back before the search noticed it had gone would keep its earlier record.
    std::set<const Device*> seen;
    const auto registered = [&](bool dfu) {
        const auto end = Clock::now() + kAppearanceLimit;
        while (Clock::now() < end) {
            const bool otherGone = dfu ? registry->GetSensorDeviceMap().empty() : registry->GetDfuDeviceMap().empty();
            for (const auto& [name, record] :
                 dfu ? Records(registry->GetDfuDeviceMap()) : Records(registry->GetSensorDeviceMap())) {
                // A sensor is usable once discovery has opened it, which it does after registering it.
                if (otherGone && (dfu || record->GetIsConnected()) && seen.insert(record).second) {
                    return name;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::string();
    };
    std::string sensorName = registered(false);
    const auto cycle = [&] {
        if (!SendSwitchToDfu(registry->GetSensorDevice(sensorName))) {
            return false;
        }
        const std::string dfuName = registered(true);
        if (dfuName.empty()) {
            ADD_FAILURE() << "no new DFU device registered; the bus: " << BusListing();
            return false;
        }
        Parameters parameters;
        model.Upload(dfuName, parameters);
        model.LeaveDfuMode(dfuName);
        sensorName = registered(false);
        return parameters.geometry.has_value() && !sensorName.empty();
    };
    // The search opens files of the bus for moments of its own, so descriptors are counted while it stands
    // still; ending it finishes its pass, which drops the bootloader the leave left behind.
    const LowDescriptorLimit limit;
    ASSERT_TRUE(limit.Applied());
    ASSERT_TRUE(cycle());
    model.EndSearch();
    const int settled = OpenDescriptors().count;
    model.StartSearchThread();
    for (int index = 1; index < 30; ++index) {
        ASSERT_TRUE(cycle()) << "cycle " << index;
    }
    model.EndSearch();
    EXPECT_LE(OpenDescriptors().count, settled);
}

}  // namespace
