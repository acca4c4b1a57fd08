#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/DfuBootloader.h"
#include "sim/host/SimulatedHidDevice.h"
#include "sim/host/SimulatedDfuTransport.h"
#include "io/DfuProtocol.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

namespace tarnix::sim {
namespace {

namespace dfu = io::dfu;
using Bytes = std::vector<std::uint8_t>;
using test::sensor_flash::DfuCommand;

// A DFU-mode sensor on a private bus, driven through SimulatedDfuTransport as the DFU library drives it.
class DfuFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        serial_ = bus_.Plug(SensorMode::Dfu);
        port_ = OpenPort();
        ASSERT_TRUE(port_);
    }

    std::string DfuPath() const
    {
        const auto interfaces = bus_.Bus().Enumerate(kUsbDeviceInterfaceClass);
        return interfaces.empty() ? std::string() : interfaces[0].devicePath;
    }
    std::unique_ptr<SimulatedDfuTransport> OpenPort() const { return SimulatedDfuTransport::Open(DfuPath()); }
    void SetFault(Fault fault, bool once = false) const { bus_.Bus().SetFault(serial_, fault, once); }

    bool Command(std::uint8_t command, std::uint32_t address)
    {
        const Bytes bytes = DfuCommand(command, address);
        return port_->Dnload(0, bytes.data(), bytes.size());
    }
    // Erases the parameter page and points block 2 at it.
    void PrepareParameterPage()
    {
        ASSERT_TRUE(Command(0x41, kParameterAddress));
        ASSERT_TRUE(Command(0x21, kParameterAddress));
    }
    bool WriteBlock(const Bytes& data) { return port_->Dnload(2, data.data(), data.size()); }
    io::DfuStatusReport Status(bool expectAnswer = true)
    {
        io::DfuStatusReport report;
        EXPECT_EQ(port_->GetStatus(report), expectAnswer);
        return report;
    }
    Bytes ParameterPage(std::size_t length) const { return bus_.Bus().ReadFlash(serial_, kParameterAddress, length); }

    test::SimulatedBus bus_;
    std::string serial_;
    std::unique_ptr<SimulatedDfuTransport> port_;
};

TEST_F(DfuFaultTest, NoFaultWritesAndReadsBack)
{
    PrepareParameterPage();
    const Bytes data(64, 0x3C);
    EXPECT_TRUE(WriteBlock(data));
    EXPECT_EQ(Status().status, dfu::kStatusOk);
    EXPECT_EQ(ParameterPage(64), data);
}

TEST_F(DfuFaultTest, OpenFaultRefusesTheOpenUntilCleared)
{
    SetFault(Fault::Open);
    EXPECT_FALSE(OpenPort());
    EXPECT_FALSE(DfuPath().empty()) << "the device stays on the bus";
    SetFault(Fault::None);
    EXPECT_TRUE(OpenPort());
}

TEST_F(DfuFaultTest, EraseFaultStallsEraseCommands)
{
    const Bytes before = ParameterPage(32);
    SetFault(Fault::Erase);
    EXPECT_FALSE(Command(0x41, kParameterAddress));
    const io::DfuStatusReport report = Status();
    EXPECT_EQ(report.state, dfu::kStateError);
    EXPECT_EQ(report.status, dfu::kErrErase);
    EXPECT_EQ(ParameterPage(32), before) << "the erase broke off: the first half is as it was";
    const Bytes page = ParameterPage(kFlashPageSize);
    EXPECT_TRUE(std::all_of(page.begin() + kFlashPageSize / 2, page.end(), [](std::uint8_t b) { return b == 0xFF; }))
        << "and the second half is blank";
    EXPECT_TRUE(port_->ClearStatus());
    EXPECT_TRUE(Command(0x21, kParameterAddress)) << "other commands still work";
}

TEST_F(DfuFaultTest, AddressFaultStallsSetAddress)
{
    SetFault(Fault::Address);
    EXPECT_FALSE(Command(0x21, kParameterAddress));
    EXPECT_EQ(Status().status, dfu::kErrTarget);
}

TEST_F(DfuFaultTest, UploadFaultStallsDataUploads)
{
    SetFault(Fault::Upload);
    ASSERT_TRUE(Command(0x21, kParameterAddress));
    ASSERT_TRUE(port_->Abort());
    Bytes data(64);
    std::size_t received = 7;
    EXPECT_FALSE(port_->Upload(2, data.data(), data.size(), received));
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(Status().status, dfu::kErrUnknown);
}

TEST_F(DfuFaultTest, DownloadFaultStallsDataAndWritesNothing)
{
    PrepareParameterPage();
    SetFault(Fault::Download);
    EXPECT_FALSE(WriteBlock(Bytes(64, 0x00)));
    EXPECT_EQ(Status().status, dfu::kErrWrite);
    EXPECT_EQ(ParameterPage(64), Bytes(64, 0xFF));
}

TEST_F(DfuFaultTest, ProgramFaultAnswersButOnlyTheStatusTells)
{
    PrepareParameterPage();
    SetFault(Fault::Program);
    EXPECT_TRUE(WriteBlock(Bytes(64, 0x00)));
    const io::DfuStatusReport report = Status();
    EXPECT_EQ(report.state, dfu::kStateError);
    EXPECT_EQ(report.status, dfu::kErrProg);
    EXPECT_EQ(ParameterPage(64), Bytes(64, 0xFF));
}

TEST_F(DfuFaultTest, CorruptFaultFlipsOneBitOfTheData)
{
    PrepareParameterPage();
    SetFault(Fault::Corrupt);
    Bytes data(64, 0x00);
    data[0] = 0x40;
    EXPECT_TRUE(WriteBlock(data));
    EXPECT_EQ(Status().status, dfu::kStatusOk);
    Bytes expected = data;
    expected[0] = 0x41;
    EXPECT_EQ(ParameterPage(64), expected);
}

TEST_F(DfuFaultTest, LeaveFaultKeepsTheDeviceInDfuMode)
{
    SetFault(Fault::Leave);
    EXPECT_FALSE(port_->Dnload(0, nullptr, 0));
    const io::DfuStatusReport report = Status();
    EXPECT_EQ(report.state, dfu::kStateError);
    EXPECT_EQ(report.status, dfu::kErrNotDone);
    EXPECT_FALSE(DfuPath().empty());
    EXPECT_TRUE(bus_.Bus().Enumerate(kHidInterfaceClass).empty());
}

TEST_F(DfuFaultTest, StallFaultSilencesTheDeviceFromTheFirstDataBlock)
{
    PrepareParameterPage();
    SetFault(Fault::Stall);
    EXPECT_TRUE(Command(0x21, kParameterAddress)) << "commands before the data still work";
    EXPECT_FALSE(WriteBlock(Bytes(64, 0x00)));
    Status(false);
    EXPECT_FALSE(port_->ClearStatus());
    EXPECT_FALSE(port_->Abort());
    std::uint8_t state = 0;
    EXPECT_FALSE(port_->GetState(state));
    EXPECT_FALSE(DfuPath().empty()) << "a stalled device stays on the bus";

    SetFault(Fault::None);
    EXPECT_TRUE(port_->ClearStatus());
    EXPECT_EQ(Status().state, dfu::kStateIdle);
}

TEST_F(DfuFaultTest, UnplugFaultDropsTheSensorOffTheBusUntilCleared)
{
    PrepareParameterPage();
    SetFault(Fault::Unplug);
    EXPECT_FALSE(WriteBlock(Bytes(64, 0x00)));
    EXPECT_TRUE(DfuPath().empty());
    Status(false);
    EXPECT_FALSE(port_->ClearStatus());

    SetFault(Fault::None);
    ASSERT_FALSE(DfuPath().empty()) << "it comes back after its re-enumeration delay (0 here)";
    EXPECT_FALSE(port_->ClearStatus()) << "a handle from before the drop stays dead";
    EXPECT_TRUE(OpenPort());
}

// The data is programmed and its status answered; the next transfer request is not, and from then on
// nothing is. A one-shot hang leaves that one request unanswered.
TEST_F(DfuFaultTest, HangFaultSilencesTheDeviceAfterTheProgrammedBlock)
{
    for (const bool once : {false, true}) {
        SetFault(Fault::None);
        ASSERT_TRUE(port_->ClearStatus());
        PrepareParameterPage();
        SetFault(Fault::Hang, once);
        const std::uint8_t fill = once ? 0x66 : 0x55;
        EXPECT_TRUE(WriteBlock(Bytes(64, fill)));
        EXPECT_EQ(Status().status, dfu::kStatusOk);
        EXPECT_EQ(ParameterPage(64), Bytes(64, fill));
        EXPECT_FALSE(Command(0x21, kParameterAddress));
        std::uint8_t state = 0;
        EXPECT_EQ(port_->GetState(state), once) << (once ? "one-shot" : "lasting");
        EXPECT_FALSE(DfuPath().empty()) << "a hanging device stays on the bus";
    }
}

// ---- One-shot faults ----

TEST_F(DfuFaultTest, OneShotFaultStrikesTheNextMatchingRequestOnly)
{
    SetFault(Fault::Erase, true);
    EXPECT_TRUE(Command(0x21, kParameterAddress)) << "a request the fault does not match leaves it armed";
    EXPECT_FALSE(Command(0x41, kParameterAddress));
    EXPECT_TRUE(port_->ClearStatus());
    EXPECT_TRUE(Command(0x41, kParameterAddress)) << "the second erase works";

    SetFault(Fault::Program, true);
    ASSERT_TRUE(Command(0x21, kParameterAddress));
    EXPECT_TRUE(WriteBlock(Bytes(64, 0x11)));
    EXPECT_EQ(Status().status, dfu::kErrProg);
    EXPECT_TRUE(port_->ClearStatus());
    PrepareParameterPage();
    EXPECT_TRUE(WriteBlock(Bytes(64, 0x22)));
    EXPECT_EQ(Status().status, dfu::kStatusOk);
    EXPECT_EQ(ParameterPage(64), Bytes(64, 0x22));
}

TEST_F(DfuFaultTest, OneShotStallLeavesOneRequestUnansweredThenTheDeviceAnswers)
{
    PrepareParameterPage();
    SetFault(Fault::Stall, true);
    EXPECT_FALSE(WriteBlock(Bytes(64, 0x00)));
    EXPECT_TRUE(port_->ClearStatus());
    EXPECT_EQ(Status().state, dfu::kStateIdle);
    ASSERT_TRUE(Command(0x21, kParameterAddress));
    EXPECT_TRUE(WriteBlock(Bytes(64, 0x33)));
    EXPECT_EQ(ParameterPage(64), Bytes(64, 0x33));
}

TEST_F(DfuFaultTest, OneShotUnplugDropsTheSensorWhichComesBackByItself)
{
    PrepareParameterPage();
    SetFault(Fault::Unplug, true);
    EXPECT_FALSE(WriteBlock(Bytes(64, 0x00)));
    EXPECT_FALSE(port_->ClearStatus()) << "the handle from before the drop is dead";
    ASSERT_FALSE(DfuPath().empty()) << "back after its re-enumeration delay (0 here), no fault to clear";
    port_ = OpenPort();
    ASSERT_TRUE(port_);
    PrepareParameterPage();
    EXPECT_TRUE(WriteBlock(Bytes(64, 0x44)));
}

TEST_F(DfuFaultTest, OneShotOpenFaultRefusesOneOpen)
{
    SetFault(Fault::Open, true);
    EXPECT_FALSE(OpenPort());
    EXPECT_TRUE(OpenPort());
}

// The HID personality's faults are options of the plug.
TEST(HidFault, SilentSensorAcceptsRequestsButNeverAnswers)
{
    test::SimulatedBus bus;
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.silent = true;
    auto hid = SimulatedHidDevice::Open(bus.PlugHidSensor(prototype), SimulatedHidDevice::Access::ReadWrite);
    ASSERT_TRUE(hid);
    std::array<std::uint8_t, 257> request{0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x00};
    EXPECT_TRUE(hid->SetFeature(request.data(), request.size()));
    std::array<std::uint8_t, 258> report{0x02, 0xFF};
    EXPECT_TRUE(hid->GetFeature(report.data(), report.size()));
    EXPECT_EQ(report[1], 0);
    EXPECT_NE(report[2], 0xEF);
}

TEST(HidFault, OpenFailsRefusesReadWriteButNotTheProbe)
{
    test::SimulatedBus bus;
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.openFails = true;
    const std::string path = bus.PlugHidSensor(prototype);
    ASSERT_FALSE(path.empty());
    EXPECT_FALSE(SimulatedHidDevice::Open(path, SimulatedHidDevice::Access::ReadWrite));
    auto probe = SimulatedHidDevice::Open(path, SimulatedHidDevice::Access::Probe);
    ASSERT_TRUE(probe);
    EXPECT_TRUE(probe->Capabilities());
    const std::uint8_t toDfu[] = {0x80, 0x00};
    EXPECT_FALSE(probe->SetFeature(toDfu, sizeof toDfu)) << "a probe handle exchanges no reports";
}

}  // namespace
}  // namespace tarnix::sim
