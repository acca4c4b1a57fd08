// The application model against virtual sensors on a private simulated bus: the device search and its
// reports, the mode switches with their waits, device information and the schema version check, parameter
// combining, and the firmware check and write with its progress and outcome events.

#include "DfuTestSupport.h"
#include "RecordingReceiver.h"

#include "core/ApplicationModel.h"
#include "core/DeviceFinder.h"
#include "core/DeviceHandler.h"
#include "core/DfuDevice.h"
#include "core/SensorDevice.h"
#include "core/TpError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using tarnix::sim::Fault;
using tarnix::sim::SensorMode;
using tarnix::sim::SensorState;
using tarnix::sim::Version;

namespace {

using Clock = std::chrono::steady_clock;

const char* const dfuDescription = "Device In Configuration Mode";
const char* const unableToConnect = "Unable to connect to selected device.";

long long MillisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

long long MillisecondsSince(Clock::time_point from) { return MillisecondsBetween(from, Clock::now()); }

// Polls a condition that no event announces (the registry of a model without receiver).
bool PollUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::vector<std::string> NamesOf(const RecordingReceiver::Events& events)
{
    std::vector<std::string> names;
    for (const RecordedEvent& event : events) {
        names.push_back(event.text);
    }
    return names;
}

}  // namespace

class ApplicationModelTest : public SimulatedBusTest {
protected:
    void SetUp() override
    {
        SimulatedBusTest::SetUp();
        registry->ClearDeviceMaps();
        registry->ClearRemovedDeviceVectors();
        model = std::make_unique<ApplicationModel>(&receiver);
    }

    // Every model is ended before it goes, also when the test failed half-way.
    void TearDown() override
    {
        model->EndSearch();
        model->EndDownloadThread();
        model.reset();
    }

    // A sensor with quick timings: short re-enumeration, no page time.
    static SensorState Quick(const std::string& serial)
    {
        SensorState prototype;
        prototype.serial = serial;
        prototype.reenumerateMs = 20;
        prototype.pageMs = 0;
        return prototype;
    }

    std::string PlugNormal(SensorState prototype)
    {
        prototype.mode = SensorMode::Normal;
        return DevicePath(bus->Plug(prototype));
    }

    std::string PlugNormal(const std::string& serial) { return PlugNormal(Quick(serial)); }

    std::string PlugDfu(SensorState prototype)
    {
        prototype.mode = SensorMode::Dfu;
        return DevicePath(bus->Plug(prototype));
    }

    std::string PlugDfu(const std::string& serial) { return PlugDfu(Quick(serial)); }

    // The bus path a sensor will have in the given mode (it may not be present yet).
    std::string PathInMode(const std::string& serial, SensorMode mode)
    {
        for (const tarnix::sim::SensorListing& listing : bus->List()) {
            if (listing.serial == serial && listing.mode == mode) {
                return listing.devicePath;
            }
        }
        return {};
    }

    // The name a sensor's device has in the given mode, whatever mode it is in now.
    static std::string PathOnReturn(const std::string& serial, SensorMode mode)
    {
        SensorState state = Quick(serial);
        state.mode = mode;
        return state.DevicePath();
    }

    // Whether the bus shows a device under this name now.
    bool BusShows(const std::string& name)
    {
        const std::vector<tarnix::sim::SensorListing> listings = bus->List();
        return std::any_of(listings.begin(), listings.end(), [&](const tarnix::sim::SensorListing& listing) {
            return listing.present && listing.devicePath == name;
        });
    }

    // Runs the mode switch on a thread of its own and starts the search only once the bus shows the device
    // under `name`, so that the device is back before the search first looks; false when it never came.
    bool SearchOnceBack(const std::function<void()>& modeSwitch, const std::string& name)
    {
        std::thread switching(modeSwitch);
        const bool back = PollUntil([&] { return BusShows(name); }, 3000ms);
        model->StartSearchThread();
        switching.join();
        return back;
    }

    // Starts the search and waits until it announced the device.
    void SearchUntilAnnounced(const std::string& name, std::chrono::milliseconds limit = 3000ms)
    {
        model->StartSearchThread();
        ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, name, limit)) << name << " never announced";
    }

    // Registers and opens a sensor the way the search does, without reading its information.
    std::string RegisterSensor(SensorState prototype)
    {
        const std::string path = PlugNormal(std::move(prototype));
        std::string found;
        EXPECT_TRUE(DeviceFinder::FindSensorHidDevice(found));
        EXPECT_EQ(found, path);
        return path;
    }

    RecordingReceiver receiver;
    std::unique_ptr<ApplicationModel> model;
    DeviceHandler* const registry = DeviceHandler::GetInstance();
};

// ---- Device search ----

TEST_F(ApplicationModelTest, DfuDeviceAndSensorOfOnePassAreReportedDfuFirstWithTheInformationStored)
{
    SensorState sensorPrototype = Quick("ORDER1");
    sensorPrototype.firmware = {3, 6};
    const std::string sensor = PlugNormal(sensorPrototype);
    const std::string dfu = PlugDfu("ORDER2");

    // What the registry holds for the sensor at the moment its arrival is reported, and whether the sensor
    // was registered when the DFU device's arrival was.
    std::string firmwareAtReport;
    std::optional<bool> sensorRegisteredAtDfuReport;
    receiver.SetHook([&](const RecordedEvent& event) {
        if (event.kind == EventKind::NewDevice && event.flag) {
            sensorRegisteredAtDfuReport = registry->SensorDeviceExists(sensor);
        }
        if (event.kind == EventKind::NewDevice && !event.flag) {
            const DeviceInformation* stored = registry->GetSensorDevice(event.text)->GetDeviceInformation();
            firmwareAtReport = std::to_string(stored->firmwareVersionMajor) + "." +
                               std::to_string(stored->firmwareVersionMinor) + " " + stored->mcuIdentifier;
        }
    });
    SearchUntilAnnounced(sensor);

    const auto events = receiver.All();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].kind, EventKind::NewDevice);
    EXPECT_EQ(events[0].text, dfu);
    EXPECT_EQ(events[0].description, dfuDescription);
    EXPECT_TRUE(events[0].flag);
    EXPECT_EQ(events[1].kind, EventKind::NewDevice);
    EXPECT_EQ(events[1].text, sensor);
    EXPECT_EQ(events[1].description, "Tarnix Tarnix TS-200 ORDER1");
    EXPECT_FALSE(events[1].flag);
    // Both were on the bus before the search began, so the first pass registers the sensor unless something
    // kept it out, which would have been reported.
    EXPECT_EQ(sensorRegisteredAtDfuReport, std::optional<bool>(false)) << "the DFU device is reported first";
    EXPECT_EQ(receiver.Count(EventKind::ErrorConnecting), 0u) << "both belong to the first pass";
    EXPECT_EQ(firmwareAtReport.substr(0, 4), "3.6 ");
    EXPECT_GT(firmwareAtReport.size(), 4u) << "the MCU identifier is stored before the report";
}

TEST_F(ApplicationModelTest, SensorsPluggedTogetherAreAnnouncedOnePerPass)
{
    const std::vector<std::string> sensors = {PlugNormal("ONE1"), PlugNormal("ONE2"), PlugNormal("ONE3")};
    model->StartSearchThread();
    ASSERT_TRUE(receiver.WaitForCount(EventKind::NewDevice, 3, 3000ms));

    const auto announced = receiver.Of(EventKind::NewDevice);
    EXPECT_EQ(NamesOf(announced), sensors);
    for (std::size_t i = 1; i < announced.size(); ++i) {
        EXPECT_GE(MillisecondsBetween(announced[i - 1].at, announced[i].at), 50)
            << "a pause of 50 ms lies between two announcements";
    }
}

TEST_F(ApplicationModelTest, IncompatibleDriverWarningRepeatsUntilTheDriverIsFixed)
{
    SensorState prototype = Quick("WRONGDRV");
    prototype.driver = tarnix::sim::DriverKind::Incompatible;
    const std::string dfu = PlugDfu(prototype);
    model->StartSearchThread();
    ASSERT_TRUE(receiver.WaitForCount(EventKind::IncompatibleDfuDrivers, 6, 3000ms));

    const auto warnings = receiver.Of(EventKind::IncompatibleDfuDrivers);
    const long long span = MillisecondsBetween(warnings.front().at, warnings[5].at);
    EXPECT_GE(span, 5 * 50) << "one warning per pass";
    EXPECT_LT(span, 5 * 200) << "about every 50 ms";
    EXPECT_EQ(receiver.Count(EventKind::NewDevice), 0u);

    // The pass that announces a new DFU device gives no warning, though the wrong driver is still there.
    const std::string good = PlugDfu("RIGHTDRV");
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, good, 2000ms));
    const std::size_t warningsThen = receiver.Count(EventKind::IncompatibleDfuDrivers);
    ASSERT_TRUE(receiver.WaitForCount(EventKind::IncompatibleDfuDrivers, warningsThen + 1, 1000ms));
    const auto announcement = receiver.Of(EventKind::NewDevice).front().at;
    for (const RecordedEvent& warning : receiver.Of(EventKind::IncompatibleDfuDrivers)) {
        EXPECT_FALSE(warning.at >= announcement && warning.at < announcement + 40ms) << "warning in the same pass";
    }

    bus->FixDrivers();
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, dfu, 2000ms));
    const std::size_t warningsSoFar = receiver.Count(EventKind::IncompatibleDfuDrivers);
    EXPECT_FALSE(receiver.WaitForCount(EventKind::IncompatibleDfuDrivers, warningsSoFar + 1, 300ms))
        << "no warning once the driver is right";
    EXPECT_EQ(receiver.Of(EventKind::NewDevice).back().description, dfuDescription);
}

TEST_F(ApplicationModelTest, SensorThatCannotBeOpenedIsReportedOnceAndItsRemovalToo)
{
    SensorState prototype = Quick("LOCKED");
    prototype.openFails = true;
    const std::string locked = PlugNormal(prototype);
    model->StartSearchThread();
    ASSERT_TRUE(receiver.WaitForCount(EventKind::ErrorConnecting, 1, 2000ms));

    // A sensor plugged afterwards is announced on a later pass: the locked one is not offered again.
    const std::string good = PlugNormal("GOODONE");
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, good, 2000ms));
    bus->Unplug("LOCKED");
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::DeviceDisconnected, locked, 2000ms));

    const auto errors = receiver.Of(EventKind::ErrorConnecting);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "Found device but could not retrieve device handle.");
    EXPECT_EQ(NamesOf(receiver.Of(EventKind::NewDevice)), std::vector<std::string>{good});
    EXPECT_EQ(NamesOf(receiver.Of(EventKind::DeviceDisconnected)), std::vector<std::string>{locked});
}

TEST_F(ApplicationModelTest, RemovalsAreReportedDfuDevicesFirstAndLeaveTheRegistry)
{
    const std::string sensor = PlugNormal("GONE1");
    const std::string dfu = PlugDfu("GONE2");
    SearchUntilAnnounced(sensor);
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, dfu, 2000ms));

    // Both go while the search pauses, so that one pass finds both gone.
    model->EndSearch();
    bus->UnplugAll();
    model->StartSearchThread();
    ASSERT_TRUE(receiver.WaitForCount(EventKind::DeviceDisconnected, 2, 2000ms));
    EXPECT_EQ(NamesOf(receiver.Of(EventKind::DeviceDisconnected)), (std::vector<std::string>{dfu, sensor}));
    model->EndSearch();  // lets the pass that reported the removals finish
    EXPECT_FALSE(registry->SensorDeviceExists(sensor));
    EXPECT_FALSE(registry->DfuDeviceExists(dfu));
    EXPECT_TRUE(registry->GetRemovedSensorDeviceVector().empty()) << "the removed names are cleared";
}

TEST_F(ApplicationModelTest, ModelWithoutReceiverRegistersButReadsNothing)
{
    model->EndSearch();
    model = std::make_unique<ApplicationModel>();
    const std::string sensor = PlugNormal("QUIET1");
    const std::string dfu = PlugDfu("QUIET2");
    model->StartSearchThread();
    // A sensor is registered first and opened right after, so its connection is awaited too.
    EXPECT_TRUE(PollUntil(
        [&] {
            return registry->SensorDeviceExists(sensor) && registry->DfuDeviceExists(dfu) &&
                   registry->GetSensorDevice(sensor)->GetIsConnected();
        },
        2000ms));
    ASSERT_TRUE(registry->SensorDeviceExists(sensor) && registry->DfuDeviceExists(dfu));
    EXPECT_TRUE(registry->GetSensorDevice(sensor)->GetDeviceInformation()->mcuIdentifier.empty())
        << "no information is read without a receiver";

    bus->Unplug("QUIET1");
    EXPECT_TRUE(PollUntil([&] { return !registry->SensorDeviceExists(sensor); }, 2000ms));
    EXPECT_TRUE(receiver.All().empty()) << "the receiver of the previous model heard nothing";
}

TEST_F(ApplicationModelTest, SearchCanBeEndedAndRestartedWithoutRepeatingKnownDevices)
{
    model->EndSearch();  // never started: only clears the flag
    const std::string first = PlugNormal("AGAIN1");
    SearchUntilAnnounced(first);
    model->EndSearch();

    model->StartSearchThread();
    const std::string second = PlugNormal("AGAIN2");
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, second, 2000ms));
    EXPECT_EQ(NamesOf(receiver.Of(EventKind::NewDevice)), (std::vector<std::string>{first, second}));
}

// ---- Into DFU mode and back ----

TEST_F(ApplicationModelTest, SwitchToDfuFindsTheDeviceSoonAndHandsOnTheInformation)
{
    SensorState prototype = Quick("SWITCH");
    prototype.firmware = {3, 2};
    prototype.schema = Version{1, 0};
    prototype.mcuId = {0xAB, 0x12, 0xCD};
    prototype.reenumerateMs = 100;
    const std::string sensor = PlugNormal(prototype);
    SearchUntilAnnounced(sensor);

    std::string dfuName = "unchanged";
    const auto start = Clock::now();
    ASSERT_TRUE(model->SetDfuAndExpectDevice(sensor, dfuName));
    EXPECT_LT(MillisecondsSince(start), 1500) << "returns once the search registered the device";
    EXPECT_EQ(dfuName, PathInMode("SWITCH", SensorMode::Dfu));

    const DeviceInformation inherited = model->GetDeviceInformation(dfuName, true);
    EXPECT_EQ(inherited.firmwareVersionMajor, 3u);
    EXPECT_EQ(inherited.firmwareVersionMinor, 2u);
    EXPECT_EQ(inherited.parametersVersionMajor, 1u);
    EXPECT_EQ(inherited.parametersVersionMinor, 0u);
    EXPECT_EQ(inherited.mcuIdentifier, "AB12CD");
    EXPECT_EQ(model->IsDeviceParametersVersionSupported(dfuName, true), 3);
}

TEST_F(ApplicationModelTest, DfuDeviceThatComesBackLateIsAnnouncedWithoutInformation)
{
    SensorState prototype = Quick("LATE");
    prototype.reenumerateMs = 5000;  // after the 500 ms pause and the 4000 ms wait
    const std::string sensor = PlugNormal(prototype);
    SearchUntilAnnounced(sensor);

    std::string dfuName = "unchanged";
    const auto start = Clock::now();
    EXPECT_FALSE(model->SetDfuAndExpectDevice(sensor, dfuName));
    EXPECT_GE(MillisecondsSince(start), 4500);
    EXPECT_EQ(dfuName, "unchanged");

    const std::string dfu = PathInMode("LATE", SensorMode::Dfu);
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, dfu, 2000ms));
    const DeviceInformation information = model->GetDeviceInformation(dfu, true);
    EXPECT_EQ(information.firmwareVersionMajor, 0u);
    EXPECT_EQ(information.mcuIdentifier, "");
    EXPECT_EQ(model->IsDeviceParametersVersionSupported(dfu, true), 0);
}

TEST_F(ApplicationModelTest, WaitTakesTheNewDfuDeviceFirstByName)
{
    std::map<std::string, DfuDevice*> before = registry->GetDfuDeviceMap();
    const std::string later = PlugDfu("ZWAIT");
    const std::string earlier = PlugDfu("AWAIT");
    ASSERT_LT(earlier, later) << "the device plugged second sorts first";
    SearchUntilAnnounced(later);
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, earlier, 2000ms));

    DeviceInformation information;
    information.firmwareVersionMajor = 7;
    std::string dfuName;
    ASSERT_TRUE(model->WaitForExpectedDfuDevice(dfuName, 1000, before, information, {}));
    EXPECT_EQ(dfuName, earlier);
    EXPECT_EQ(model->GetDeviceInformation(earlier, true).firmwareVersionMajor, 7u);
    EXPECT_EQ(model->GetDeviceInformation(later, true).firmwareVersionMajor, 0u) << "only one device inherits";
}

TEST_F(ApplicationModelTest, WaitPassesOverDfuDevicesThatWereOnTheBusBefore)
{
    std::map<std::string, DfuDevice*> before = registry->GetDfuDeviceMap();
    const std::string present = PlugDfu("APRESENT");
    const std::string switched = PlugDfu("ZSWITCHED");
    SearchUntilAnnounced(switched);
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, present, 2000ms));

    DeviceInformation information;
    information.firmwareVersionMajor = 7;
    std::string dfuName;
    ASSERT_TRUE(model->WaitForExpectedDfuDevice(dfuName, 1000, before, information, {present}));
    EXPECT_EQ(dfuName, switched);
    EXPECT_EQ(model->GetDeviceInformation(present, true).firmwareVersionMajor, 0u);

    dfuName = "unchanged";
    EXPECT_FALSE(model->WaitForExpectedDfuDevice(dfuName, 200, before, information, {present, switched}));
    EXPECT_EQ(dfuName, "unchanged");
}

// Discovery registers one DFU device per pass, so devices that were in configuration mode before the switch
// enter the registry during the wait; they sort before the switched sensor and must still not be taken.
TEST_F(ApplicationModelTest, SwitchNeverTakesADfuDeviceThatWasAlreadyOnTheBus)
{
    const std::string sensor = RegisterSensor(Quick("SWITCHED"));
    const std::vector<std::string> waiting = {PlugDfu("DFU2"), PlugDfu("DFU3"), PlugDfu("DFU4")};
    model->StartSearchThread();

    std::string dfuName;
    ASSERT_TRUE(model->SetDfuAndExpectDevice(sensor, dfuName));
    EXPECT_EQ(dfuName, PathInMode("SWITCHED", SensorMode::Dfu));
    ASSERT_TRUE(receiver.WaitForCount(EventKind::NewDevice, 4, 2000ms));
    for (const std::string& other : waiting) {
        EXPECT_TRUE(registry->DfuDeviceExists(other)) << other;
        EXPECT_NE(dfuName, other);
    }
}

TEST_F(ApplicationModelTest, LeavingDfuModeFindsTheSensorAgain)
{
    const std::string dfu = PlugDfu("BACK");
    SearchUntilAnnounced(dfu);

    std::string sensorName;
    const auto start = Clock::now();
    ASSERT_TRUE(model->LeaveDfuAndExpectDevice(dfu, sensorName));
    EXPECT_LT(MillisecondsSince(start), 2000);
    EXPECT_EQ(sensorName, PathInMode("BACK", SensorMode::Normal));
    const auto results = receiver.Of(EventKind::LeaveDfuModeResult);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].flag);
}

// The search thread registers the returning sensor and then reads its information; a caller that meets the
// sensor in the registry before that read has ended gets the information read once, whole, not two reads whose
// requests and answers interleave on the one device.
TEST_F(ApplicationModelTest, TheReturningSensorsInformationIsWholeWhenTheCallerFirstAsks)
{
    std::string dfu = PlugDfu(Quick("WHOLE"));
    SearchUntilAnnounced(dfu);
    for (int cycle = 0; cycle < 6; ++cycle) {
        std::string sensorName;
        ASSERT_TRUE(model->LeaveDfuAndExpectDevice(dfu, sensorName)) << "cycle " << cycle;
        EXPECT_EQ(model->IsDeviceParametersVersionSupported(sensorName, false), 3) << "cycle " << cycle;
        const DeviceInformation information = model->GetDeviceInformation(sensorName, false);
        EXPECT_EQ(information.firmwareVersionMajor, 2u) << "cycle " << cycle;
        EXPECT_FALSE(information.mcuIdentifier.empty()) << "cycle " << cycle;
        ASSERT_TRUE(model->SetDfuAndExpectDevice(sensorName, dfu)) << "cycle " << cycle;
    }
}

// A mode's device name repeats on this bus, so a record left from the device's last visit in that mode may
// still be registered when the device comes back under its name: whether the search keeps that record for the
// returned device or drops it and registers a new one, the wait takes it, and never before the device is back.
TEST_F(ApplicationModelTest, SwitchTakesTheReturnedDeviceUnderANameLeftFromItsLastVisit)
{
    const std::string sensor = RegisterSensor(Quick("KEPT"));
    const std::string dfu = PathOnReturn("KEPT", SensorMode::Dfu);
    registry->CreateNewDfuDevice(dfu);
    DfuDevice* const leftover = registry->GetDfuDevice(dfu);

    // The device is back under that name before the search first looks: the search keeps the record.
    bool switched = false;
    std::string dfuName;
    ASSERT_TRUE(SearchOnceBack([&] { switched = model->SetDfuAndExpectDevice(sensor, dfuName); }, dfu));
    EXPECT_TRUE(switched);
    EXPECT_EQ(dfuName, dfu);
    EXPECT_EQ(registry->GetDfuDevice(dfu), leftover) << "the search kept the record for the returned device";
}

TEST_F(ApplicationModelTest, SwitchTakesANewRecordRegisteredUnderANameLeftFromTheLastVisit)
{
    SensorState prototype = Quick("DROPPED");
    prototype.firmware = {4, 1};
    const std::string sensor = RegisterSensor(prototype);
    const std::string dfu = PathOnReturn("DROPPED", SensorMode::Dfu);
    registry->CreateNewDfuDevice(dfu);
    std::map<std::string, DfuDevice*> before = registry->GetDfuDeviceMap();
    DfuDevice* const leftover = before.at(dfu);

    model->StartSearchThread();
    ASSERT_TRUE(PollUntil([&] { return !registry->DfuDeviceExists(dfu); }, 2000ms)) << "the search drops it";
    const DeviceInformation information = model->GetDeviceInformation(sensor, false);
    model->SetDfuMode(sensor);
    std::string dfuName;
    ASSERT_TRUE(model->WaitForExpectedDfuDevice(dfuName, 4000, before, information, {}));
    EXPECT_EQ(dfuName, dfu);
    EXPECT_NE(registry->GetDfuDevice(dfu), leftover);
    EXPECT_EQ(model->GetDeviceInformation(dfu, true).firmwareVersionMajor, 4u);
}

// Until a search pass has kept a left-over record for the returned device, the pass under way may still drop
// it, so the wait does not take it: without a search the record is never taken, device back or not.
TEST_F(ApplicationModelTest, ARecordLeftFromTheLastVisitIsNotTakenBeforeASearchPassKeepsIt)
{
    const std::string sensor = RegisterSensor(Quick("NOPASS"));
    const std::string dfu = PathOnReturn("NOPASS", SensorMode::Dfu);
    registry->CreateNewDfuDevice(dfu);
    std::map<std::string, DfuDevice*> before = registry->GetDfuDeviceMap();

    std::string dfuName = "unchanged";
    EXPECT_FALSE(model->WaitForExpectedDfuDevice(dfuName, 200, before, {}, {})) << "the device is away";
    model->SetDfuMode(sensor);
    ASSERT_TRUE(PollUntil([&] { return BusShows(dfu); }, 3000ms));
    EXPECT_FALSE(model->WaitForExpectedDfuDevice(dfuName, 300, before, {}, {})) << "no search pass has ended";
    EXPECT_EQ(dfuName, "unchanged");
}

TEST_F(ApplicationModelTest, LeaveTakesTheReturnedSensorUnderANameLeftFromItsLastVisit)
{
    const std::string dfu = PlugDfu(Quick("HOME"));
    std::vector<std::string> found;
    bool incompatible = false;
    ASSERT_TRUE(DeviceFinder::FindDfuDevice(found, incompatible));
    const std::string normal = PathOnReturn("HOME", SensorMode::Normal);
    registry->CreateNewSensorDevice(normal);

    bool left = false;
    std::string sensorName;
    ASSERT_TRUE(SearchOnceBack([&] { left = model->LeaveDfuAndExpectDevice(dfu, sensorName); }, normal));
    EXPECT_TRUE(left);
    EXPECT_EQ(sensorName, normal);
}

TEST_F(ApplicationModelTest, LeavingWithoutAValidFirmwareWaitsTheFullTime)
{
    SensorState prototype = Quick("NOFW");
    const std::string dfu = PlugDfu(prototype);
    bus->WriteFlash("NOFW", 0x08000000, std::vector<std::uint8_t>(0x400, 0xFF));  // no firmware header
    SearchUntilAnnounced(dfu);

    std::string sensorName = "unchanged";
    const auto start = Clock::now();
    EXPECT_FALSE(model->LeaveDfuAndExpectDevice(dfu, sensorName));
    EXPECT_GE(MillisecondsSince(start), 8000);
    EXPECT_EQ(sensorName, "unchanged");
    ASSERT_EQ(receiver.Count(EventKind::LeaveDfuModeResult), 1u);
}

TEST_F(ApplicationModelTest, FailedLeaveReachesTheCallerWithoutResultEvent)
{
    const std::string dfu = PlugDfu("STUCK");
    bus->SetFault("STUCK", Fault::Leave);
    SearchUntilAnnounced(dfu);

    std::string sensorName;
    EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->LeaveDfuAndExpectDevice(dfu, sensorName); }),
              "Failed to leave configuration mode and enter application mode.");
    EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->LeaveDfuMode(dfu); }),
              "Failed to leave configuration mode and enter application mode.");
    EXPECT_EQ(receiver.Count(EventKind::LeaveDfuModeResult), 0u);
}

// ---- Device information and the schema version check ----

TEST_F(ApplicationModelTest, StoredInformationWithMcuIdentifierIsNeverAskedAgain)
{
    SensorState prototype = Quick("INFO");
    prototype.firmware = {5, 1};
    const std::string sensor = RegisterSensor(prototype);

    // Nothing stored yet: the sensor is asked and the answer is kept.
    const DeviceInformation read = model->GetDeviceInformation(sensor, false);
    EXPECT_EQ(read.firmwareVersionMajor, 5u);
    EXPECT_FALSE(read.mcuIdentifier.empty());
    EXPECT_EQ(registry->GetSensorDevice(sensor)->GetDeviceInformation()->mcuIdentifier, read.mcuIdentifier);

    // Stored information with an identifier is answered as it is, though the sensor would say otherwise.
    DeviceInformation stored;
    stored.firmwareVersionMajor = 9;
    stored.parametersVersionMajor = 1;
    stored.parametersVersionMinor = 7;
    stored.mcuIdentifier = "CAFE";
    registry->GetSensorDevice(sensor)->SetDeviceInformation(stored);
    bus->Unplug("INFO");
    const DeviceInformation answered = model->GetDeviceInformation(sensor, false);
    EXPECT_EQ(answered.firmwareVersionMajor, 9u);
    EXPECT_EQ(answered.mcuIdentifier, "CAFE");
    EXPECT_EQ(model->IsDeviceParametersVersionSupported(sensor, false), 2);
}

TEST_F(ApplicationModelTest, SchemaVersionCheckOfSensors)
{
    struct Case {
        std::optional<Version> schema;
        int expected;
    };
    const std::vector<Case> cases = {{std::nullopt, 0},  {Version{0, 1}, 3}, {Version{0, 9}, 3}, {Version{1, 0}, 3},
                                     {Version{1, 1}, 3}, {Version{1, 2}, 2}, {Version{2, 0}, 2}, {Version{2, 5}, 2}};
    int number = 0;
    for (const Case& testCase : cases) {
        SensorState prototype = Quick("SCHEMA" + std::to_string(++number));
        prototype.schema = testCase.schema;
        const std::string sensor = RegisterSensor(prototype);
        const std::string version =
            testCase.schema ? std::to_string(testCase.schema->major) + "." + std::to_string(testCase.schema->minor)
                            : "none";
        EXPECT_EQ(model->IsDeviceParametersVersionSupported(sensor, false), testCase.expected) << version;
    }
}

TEST_F(ApplicationModelTest, UnknownOrWrongKindOfNameIsUnableToConnect)
{
    const std::string sensor = RegisterSensor(Quick("KIND1"));
    const std::string dfu = PlugDfu("KIND2");
    std::vector<std::string> found;
    bool incompatible = false;
    ASSERT_TRUE(DeviceFinder::FindDfuDevice(found, incompatible));

    Parameters parameters;
    std::string out = "unchanged";
    const std::string schema = PathInFolder("schema.fbs");
    const std::string json = PathInFolder("parameters.json");
    for (const std::string& notSensor : {std::string("no such device"), dfu}) {
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->SetDfuMode(notSensor); }), unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->SetDfuAndExpectDevice(notSensor, out); }),
                  unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->GetDeviceInformation(notSensor, false); }),
                  unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->IsDeviceParametersVersionSupported(notSensor, false); }),
                  unableToConnect);
    }
    for (const std::string& notDfu : {std::string("no such device"), sensor}) {
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->LeaveDfuMode(notDfu); }), unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->LeaveDfuAndExpectDevice(notDfu, out); }), unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->Download(notDfu, parameters); }), unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->Download(notDfu, schema, json); }), unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->Upload(notDfu, parameters); }), unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->Upload(notDfu, schema, json); }), unableToConnect);
        EXPECT_EQ(MessageOf<TpError::Exception>([&] { model->GetDeviceInformation(notDfu, true); }), unableToConnect);
    }
    EXPECT_EQ(out, "unchanged");
    EXPECT_TRUE(receiver.All().empty());
}

// ---- Combining parameters ----

TEST(ApplicationModelCombineTest, NestedFieldCreatesExactlyItsChainOfRecords)
{
    Parameters source;
    source.deviceConfiguration.emplace().snappingFilter.emplace().left = SnappingDistance{3, 9};
    const Parameters sourceBefore = source;

    Parameters target;
    ApplicationModel::CombineParameters(target, source);

    Parameters expected;
    expected.deviceConfiguration.emplace().snappingFilter.emplace().left = SnappingDistance{3, 9};
    EXPECT_EQ(target, expected);
    EXPECT_EQ(source, sourceBefore);
}

TEST(ApplicationModelCombineTest, SetMembersReplaceAndAbsentOnesKeepTheTarget)
{
    Parameters target;
    target.fingerFrequency = 100;
    target.geometry.emplace().sourceCount = 4;
    auto& configuration = target.deviceConfiguration.emplace();
    configuration.subTouchActiveArea.emplace().min = Vec2{1, 2};
    configuration.subTouchActiveArea->flipXY = true;
    configuration.numberOfReportedTouches = 5;
    const Parameters full = target;

    Parameters empty;
    ApplicationModel::CombineParameters(target, empty);
    EXPECT_EQ(target, full) << "an empty source changes nothing";

    Parameters source;
    source.fingerFrequency = -7;
    source.deviceConfiguration.emplace().subTouchActiveArea.emplace().min = Vec2{30, 40};
    source.operationMode.emplace().detectionHid = false;
    ApplicationModel::CombineParameters(target, source);

    Parameters expected = full;
    expected.fingerFrequency = -7;
    expected.deviceConfiguration->subTouchActiveArea->min = Vec2{30, 40};
    expected.operationMode.emplace().detectionHid = false;
    EXPECT_EQ(target, expected);
}

// ---- Firmware file check ----

TEST_F(ApplicationModelTest, FirmwareFileCheckAnswersWithExactlyOneEvent)
{
    const std::string good = MakeFirmware("good.dfu", {"--version", "3.0"});
    const std::string upper = PathInFolder("good.DFU");
    std::filesystem::copy_file(good, upper);
    const std::string parameterBytes = WriteFile("parameters.bin", std::vector<std::uint8_t>(64, 0x11));
    const std::string overwriting = MakeFirmware("with.hex", {"--version", "3.0", "--params", parameterBytes});
    const std::string garbage = WriteFile("garbage.hex", {'n', 'o', 't', ' ', 'h', 'e', 'x'});

    struct Case {
        std::string path;
        EventKind expected;
        bool overwrites;
    };
    const std::vector<Case> cases = {{upper, EventKind::BadFirmwareFile, false},
                                     {PathInFolder("missing.dfu"), EventKind::FailedFirmwareFileCheck, false},
                                     {garbage, EventKind::FailedFirmwareFileCheck, false},
                                     {good, EventKind::FirmwareFileChecked, false},
                                     {overwriting, EventKind::FirmwareFileChecked, true}};
    std::size_t expectedCount = 0;
    for (const Case& testCase : cases) {
        std::string path = testCase.path;
        model->InitFirmwareFileCheck(path);
        const auto events = receiver.All();
        ASSERT_EQ(events.size(), ++expectedCount) << testCase.path;
        EXPECT_EQ(events.back().kind, testCase.expected) << testCase.path;
        if (testCase.expected == EventKind::FirmwareFileChecked) {
            EXPECT_EQ(events.back().text, testCase.path);
            EXPECT_EQ(events.back().flag, testCase.overwrites) << testCase.path;
        }
    }
}

// ---- Firmware write ----

class ApplicationModelWriteTest : public ApplicationModelTest {
protected:
    // A DFU device with a page time, so that a write lasts long enough for several progress polls.
    void SetUp() override
    {
        ApplicationModelTest::SetUp();
        SensorState prototype = Quick("WRITER");
        prototype.pageMs = 4;
        dfu = PlugDfu(prototype);
        firmware = MakeFirmware("firmware.dfu", {"--version", "6.3", "--size", "0x10000"});
        SearchUntilAnnounced(dfu);
    }

    bool WaitForOutcome(std::chrono::milliseconds limit = 20000ms)
    {
        return receiver.WaitUntil(
            [](const RecordingReceiver::Events& all) {
                return RecordingReceiver::CountIn(all, EventKind::WriteFinished) +
                           RecordingReceiver::CountIn(all, EventKind::WriteFailed) >
                       0;
            },
            limit);
    }

    std::vector<int> Progress() const
    {
        std::vector<int> values;
        for (const RecordedEvent& event : receiver.Of(EventKind::UpdateProgress)) {
            values.push_back(event.percent);
        }
        return values;
    }

    std::string dfu;
    std::string firmware;
};

TEST_F(ApplicationModelWriteTest, FullWriteReportsProgressAndFinishesWithTheNewFirmware)
{
    model->StartDownloadThread(dfu, firmware);
    ASSERT_TRUE(WaitForOutcome());
    model->EndDownloadThread();

    EXPECT_EQ(receiver.Count(EventKind::WriteFinished), 1u);
    EXPECT_EQ(receiver.Count(EventKind::WriteFailed), 0u);
    const std::vector<int> progress = Progress();
    ASSERT_GE(progress.size(), 2u) << "a write of 32 pages spans several polls";
    EXPECT_NE(progress.front(), 0);
    // The DFU layer sets the percentage back to 0 after programming, while leaving DFU mode still follows;
    // a poll in that window reports the 0, which can only be the last report.
    for (std::size_t i = 0; i < progress.size(); ++i) {
        const bool trailingReset = progress[i] == 0 && i + 1 == progress.size();
        EXPECT_TRUE((progress[i] >= 1 && progress[i] <= 99) || trailingReset) << "report " << i << ": " << progress[i];
        if (i > 0) {
            EXPECT_NE(progress[i], progress[i - 1]) << "only changes are reported";
        }
    }
    const auto finished = receiver.Of(EventKind::WriteFinished).front();
    for (const RecordedEvent& event : receiver.Of(EventKind::UpdateProgress)) {
        EXPECT_LE(event.at, finished.at) << "no progress after the outcome";
    }

    // The sensor boots the written firmware and the search announces it.
    const std::string sensor = PathInMode("WRITER", SensorMode::Normal);
    ASSERT_TRUE(receiver.WaitForDevice(EventKind::NewDevice, sensor, 3000ms));
    EXPECT_EQ(model->GetDeviceInformation(sensor, false).firmwareVersionMajor, 6u);
    EXPECT_EQ(model->GetDeviceInformation(sensor, false).firmwareVersionMinor, 3u);
}

TEST_F(ApplicationModelWriteTest, EraseFailureEndsTheWriteAsFailed)
{
    bus->SetFault("WRITER", Fault::Erase);
    model->StartDownloadThread(dfu, firmware);
    ASSERT_TRUE(WaitForOutcome());
    model->EndDownloadThread();

    EXPECT_EQ(receiver.Count(EventKind::WriteFailed), 1u);
    EXPECT_EQ(receiver.Count(EventKind::WriteFinished), 0u);
    for (int percent : Progress()) {
        EXPECT_LE(percent, 33) << "nothing beyond what the erase reported";
    }
    EXPECT_EQ(bus->ReadFlash("WRITER", 0x08000200, 6), (std::vector<std::uint8_t>{'T', 'N', 'X', 'F', 'W', '1'}))
        << "the old firmware is still there";
}

TEST_F(ApplicationModelWriteTest, EndingRightAfterTheStartWaitsForTheOutcome)
{
    model->StartDownloadThread(dfu, firmware);
    model->EndDownloadThread();

    const auto events = receiver.All();
    EXPECT_EQ(RecordingReceiver::CountIn(events, EventKind::WriteFinished), 1u)
        << "the write ran to its end before the call returned";
    EXPECT_EQ(RecordingReceiver::CountIn(events, EventKind::WriteFailed), 0u);
}

TEST_F(ApplicationModelWriteTest, WriteToAnUnknownDeviceFails)
{
    model->StartDownloadThread("no such device", firmware);
    ASSERT_TRUE(WaitForOutcome(3000ms));
    model->EndDownloadThread();
    EXPECT_EQ(receiver.Count(EventKind::WriteFailed), 1u);
    EXPECT_EQ(receiver.Count(EventKind::WriteFinished), 0u);
    EXPECT_EQ(bus->ReadFlash("WRITER", 0x08000200, 6), (std::vector<std::uint8_t>{'T', 'N', 'X', 'F', 'W', '1'}));
}
