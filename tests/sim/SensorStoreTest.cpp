#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

#include "sim/sensor/BusConstants.h"
#include "sim/bus/SensorStateFile.h"
#include "sim/bus/SensorStore.h"
#include "sim/host/SimulatedDfuTransport.h"
#include "io/DfuProtocol.h"
#include "tests/support/SimulatedBus.h"

namespace tarnix::sim {
namespace {

namespace dfu = io::dfu;
SensorState Sample()
{
    SensorState state;
    state.serial = "AB-12_x";
    state.product = "Tarnix TS-200 = special";
    state.mcuId = {0x00, 0xFF, 0x10};
    state.usagePage = 0x000D;
    state.usage = 4;
    state.collections = {SensorCollection{false, 0x000D, 0x0004, 0}, SensorCollection{true, 0, 0, 100}};
    state.dfuHardwareId = "USB\\vid_0483&pid_df11";
    state.silent = true;
    state.reenumerateMs = 17;
    state.pageMs = 3;
    state.driver = DriverKind::Incompatible;
    state.mode = SensorMode::Dfu;
    state.firmware = {65535, 0};
    state.schema.reset();
    state.instance = 0xFEDCBA9876543210ull;
    state.generation = 9;
    state.detached = true;
    state.plugSequence = 0x1234567890ull;
    state.pluggedAtMs = 1;
    state.appearAtMs = -5;
    state.changedAtMs = 1700000000123;
    state.fault = Fault::Corrupt;
    state.dfu.state = dfu::kStateError;
    state.dfu.status = dfu::kErrAddress;
    state.dfu.addressPointer = 0x08001000;
    state.dfu.leavePending = true;
    state.dfu.stalled = true;
    return state;
}

TEST(SensorStateFile, EveryFieldSurvivesTheRoundTrip)
{
    const SensorState original = Sample();
    std::string error;
    const auto parsed = SensorStateFile::Parse(SensorStateFile::Format(original), error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(SensorStateFile::Format(*parsed), SensorStateFile::Format(original));
    EXPECT_EQ(parsed->product, original.product);
    EXPECT_EQ(parsed->mcuId, original.mcuId);
    EXPECT_EQ(parsed->usagePage, 0x000D);
    EXPECT_EQ(SensorCollections::Format(parsed->collections), "0xD:0x4,config/100");
    EXPECT_EQ(parsed->driver, DriverKind::Incompatible);
    EXPECT_FALSE(parsed->schema.has_value());
    EXPECT_EQ(parsed->instance, original.instance);
    EXPECT_EQ(parsed->plugSequence, original.plugSequence);
    EXPECT_EQ(parsed->appearAtMs, -5);
    EXPECT_EQ(parsed->fault, Fault::Corrupt);
    EXPECT_EQ(parsed->dfu, original.dfu);
}

TEST(SensorStateFile, AFileWrittenBeforeSensorsHadCollectionsGivesTheConfigurationCollectionAlone)
{
    std::string text = SensorStateFile::Format(Sample());
    const std::size_t line = text.find("collections=");
    ASSERT_NE(line, std::string::npos);
    text.erase(line, text.find('\n', line) + 1 - line);
    std::string error;
    const auto parsed = SensorStateFile::Parse(text, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(SensorCollections::Format(parsed->collections), "config");
}

TEST(SensorStateFile, DamagedTextsAreRefusedWithAReason)
{
    const std::string good = SensorStateFile::Format(Sample());
    auto replace = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<std::string> damaged = {
        "",
        "garbage\n",
        good.substr(0, good.size() / 2),  // cut off in the middle
        replace("mode=dfu", "mode=sideways"),
        replace("firmware=65535.0", "firmware=65536.0"),
        replace("dfu_address=0x08001000", "dfu_address=0x1G"),
        replace("generation=9", "generation=9\ngeneration=10"),
        replace("serial=AB-12_x", "serial=../etc"),
        replace("dfu_state=10", "dfu_state=11"),
        replace("silent=1", "silent=yes"),
        replace("usage=4", "usage"),
        replace("plug_sequence=78187493520", "plug_sequence=-1"),
        replace("collections=0xD:0x4,config/100", "collections=config,config"),
    };
    for (const std::string& text : damaged) {
        std::string error;
        EXPECT_FALSE(SensorStateFile::Parse(text, error)) << text;
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_TRUE(SensorStateFile::Parse(good + "future_key=1\n", error)) << "unknown keys are ignored";
}

TEST(SensorStateFile, FileWithoutPlugSequenceIsReadAsPluggedBeforeAnyOther)
{
    std::string text = SensorStateFile::Format(Sample());
    const std::string line = "plug_sequence=78187493520\n";
    ASSERT_NE(text.find(line), std::string::npos) << text;
    text.erase(text.find(line), line.size());
    std::string error;
    const auto parsed = SensorStateFile::Parse(text, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->plugSequence, 0u);
    EXPECT_EQ(parsed->pluggedAtMs, 1);
}

// Sets the plug time a sensor's file records, as when it was plugged at that moment of the wall clock.
void SetPluggedAt(const SensorStore& store, const std::string& serial, std::int64_t ms)
{
    SensorState state = *store.Load(serial);
    state.pluggedAtMs = ms;
    ASSERT_TRUE(store.Save(state));
}

std::vector<std::string> SerialsInEnumerationOrder(const SimBus& bus, std::string_view interfaceClass)
{
    std::vector<std::string> serials;
    for (const DeviceInterfaceRecord& record : bus.Enumerate(interfaceClass)) {
        for (const SensorListing& listing : bus.List()) {
            if (listing.devicePath == record.devicePath) {
                serials.push_back(listing.serial);
            }
        }
    }
    return serials;
}

// Sensors plugged within one millisecond, or across a step back of the wall clock, still enumerate in
// the order they were plugged, not by serial.
TEST(SensorStore, SensorsEnumerateInPlugOrderWhateverTheClock)
{
    test::SimulatedBus bus;
    SensorState prototype;
    for (const char* serial : {"Z1", "M1", "A1"}) {
        prototype.serial = serial;
        bus.Plug(SensorMode::Dfu, prototype);
    }
    const SensorStore store(bus.Folder());
    SetPluggedAt(store, "Z1", 1700000000000);
    SetPluggedAt(store, "M1", 1700000000000);  // the same millisecond
    SetPluggedAt(store, "A1", 1699999999000);  // after the clock stepped back

    const std::vector<std::string> plugOrder = {"Z1", "M1", "A1"};
    EXPECT_EQ(SerialsInEnumerationOrder(bus.Bus(), kUsbDeviceInterfaceClass), plugOrder);

    // A sensor unplugged and plugged again comes last, as on a new port.
    bus.Bus().Unplug("Z1");
    prototype.serial = "Z1";
    bus.Plug(SensorMode::Dfu, prototype);
    SetPluggedAt(store, "Z1", 1600000000000);
    EXPECT_EQ(SerialsInEnumerationOrder(bus.Bus(), kUsbDeviceInterfaceClass),
              (std::vector<std::string>{"M1", "A1", "Z1"}));
}

// Files written before the bus kept a plug sequence: those sensors come before every newer one, ordered
// among themselves by plug time and then serial.
TEST(SensorStore, SensorsFromOlderFilesComeFirstByPlugTime)
{
    test::SimulatedBus bus;
    const std::string newer = bus.Plug(SensorMode::Normal);
    SensorState old = *SensorStore(bus.Folder()).Load(newer);
    auto writeOld = [&bus, &old](const std::string& serial, std::int64_t pluggedAtMs) {
        old.serial = serial;
        old.pluggedAtMs = pluggedAtMs;
        std::string text = SensorStateFile::Format(old);
        const std::size_t line = text.find("plug_sequence=");
        text.erase(line, text.find('\n', line) + 1 - line);
        std::ofstream(bus.Folder() + "/" + serial + ".sensor", std::ios::trunc) << text;
    };
    writeOld("OLD-B", 2000);
    writeOld("OLD-A", 2000);
    writeOld("OLD-C", 1000);

    EXPECT_EQ(SerialsInEnumerationOrder(bus.Bus(), kHidInterfaceClass),
              (std::vector<std::string>{"OLD-C", "OLD-A", "OLD-B", newer}));
    const std::string next = bus.Plug(SensorMode::Normal);
    EXPECT_EQ(SerialsInEnumerationOrder(bus.Bus(), kHidInterfaceClass).back(), next);
}

TEST(SensorStore, DamagedSensorIsSkippedWithOneWarning)
{
    test::SimulatedBus bus;
    const std::string good = bus.Plug(SensorMode::Normal);
    const std::string bad = bus.Plug(SensorMode::Normal);
    {
        std::ofstream file(bus.Folder() + "/" + bad + ".sensor", std::ios::trunc);
        file << "tarnix-sim-sensor 1\nserial=" << bad << "\nmode=normal\n";
    }
    testing::internal::CaptureStderr();
    const auto first = bus.Bus().Enumerate(kHidInterfaceClass);
    const auto second = bus.Bus().Enumerate(kHidInterfaceClass);
    const std::string warnings = testing::internal::GetCapturedStderr();

    ASSERT_EQ(first.size(), 1u);
    EXPECT_NE(first[0].devicePath.find(good), std::string::npos);
    EXPECT_EQ(second.size(), 1u);
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;
    EXPECT_NE(warnings.find(bad + ".sensor"), std::string::npos) << warnings;

    ASSERT_EQ(bus.Bus().List().size(), 1u);
    EXPECT_EQ(bus.Bus().List()[0].serial, good);
    bus.Bus().Unplug(bad);  // a damaged sensor can still be unplugged
    EXPECT_FALSE(SensorStore(bus.Folder()).Exists(bad));
}

TEST(SensorStore, MissingFlashImageFailsRequestsWithoutACrash)
{
    test::SimulatedBus bus;
    const std::string serial = bus.Plug(SensorMode::Dfu);
    const auto interfaces = bus.Bus().Enumerate(kUsbDeviceInterfaceClass);
    ASSERT_EQ(interfaces.size(), 1u);
    auto port = SimulatedDfuTransport::Open(interfaces[0].devicePath);
    ASSERT_TRUE(port);
    ASSERT_EQ(std::remove((bus.Folder() + "/" + serial + ".flash").c_str()), 0);

    testing::internal::CaptureStderr();
    std::vector<std::uint8_t> data(16);
    std::size_t received = 0;
    EXPECT_FALSE(port->Upload(0, data.data(), data.size(), received));
    io::DfuStatusReport report;
    EXPECT_TRUE(port->GetStatus(report)) << "requests that need no flash still work";
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find(serial + ".flash"), std::string::npos);
    EXPECT_THROW(bus.Bus().ReadFlash(serial, kFlashBase, 16), std::runtime_error);
}

// Readers keep parsed files by their stamp: back-to-back versions of the same size (the inode of a replaced
// file may come straight back) must still be told apart.
TEST(SensorStore, ReadersSeeEveryVersionOfAQuicklyRewrittenFile)
{
    test::SimulatedBus bus;
    const std::string serial = bus.Plug(SensorMode::Dfu);
    SensorStore store(bus.Folder());
    SensorState state = *store.Load(serial);
    for (int round = 0; round < 300; ++round) {
        state.dfu.status = static_cast<std::uint8_t>(3 + round % 2);
        ASSERT_TRUE(store.Save(state));
        const auto seen = store.Load(serial);
        ASSERT_TRUE(seen);
        ASSERT_EQ(seen->dfu.status, state.dfu.status) << "round " << round;
    }
}

TEST(SensorStore, EachSavedVersionIsStampedLaterThanTheOneItReplaces)
{
    test::SimulatedBus bus;
    const std::string serial = bus.Plug(SensorMode::Normal);
    const std::string path = bus.Folder() + "/" + serial + ".sensor";
    // A file stamped an hour ahead, as after a clock step back: the next version must still be later.
    const auto ahead = std::chrono::system_clock::now() + std::chrono::hours(1);
    const std::int64_t aheadNs = std::chrono::duration_cast<std::chrono::nanoseconds>(ahead.time_since_epoch()).count();
    const timespec stamp{static_cast<time_t>(aheadNs / 1000000000), static_cast<long>(aheadNs % 1000000000)};
    const timespec times[2] = {stamp, stamp};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    SensorStore store(bus.Folder());
    SensorState state = *store.Load(serial);
    state.fault = Fault::Erase;
    ASSERT_TRUE(store.Save(state));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_GT(static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec, aheadNs);
    EXPECT_EQ(store.Load(serial)->fault, Fault::Erase);
}

TEST(SensorStore, MissingFolderIsAnEmptyBus)
{
    SensorStore store("/nonexistent/tarnix-sim-folder");
    EXPECT_TRUE(store.LoadAll().empty());
    EXPECT_TRUE(SimBus("/nonexistent/tarnix-sim-folder").Enumerate(kHidInterfaceClass).empty());
}

}  // namespace
}  // namespace tarnix::sim
