#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/DfuBootloader.h"
#include "sim/sensor/FirmwareHeader.h"
#include "sim/host/SimulatedHidDevice.h"
#include "sim/host/SimulatedDfuTransport.h"
#include "io/DfuProtocol.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

namespace tarnix::sim {
namespace {

namespace dfu = io::dfu;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
using test::sensor_flash::DfuCommand;

// The path of the only interface of the class, waiting up to `patience` for it to appear.
std::string WaitForInterface(const test::SimulatedBus& bus, const char* interfaceClass,
                             std::chrono::milliseconds patience = std::chrono::milliseconds(3000))
{
    const auto deadline = Clock::now() + patience;
    for (;;) {
        const auto interfaces = bus.Bus().Enumerate(interfaceClass);
        if (!interfaces.empty()) {
            return interfaces[0].devicePath;
        }
        if (Clock::now() > deadline) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

Bytes PlatformAnswer(SimulatedHidDevice& hid)
{
    std::array<std::uint8_t, 257> request{0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x00};
    std::array<std::uint8_t, 258> report{0x02};
    if (!hid.SetFeature(request.data(), request.size()) || !hid.GetFeature(report.data(), report.size())) {
        return {};
    }
    return Bytes(report.begin() + 2, report.begin() + 2 + report[1]);
}

bool Contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// Leaves DFU mode the way the host does: address pointer to the start of flash, zero-length DNLOAD,
// GETSTATUS.
void LeaveDfuMode(SimulatedDfuTransport& port)
{
    const Bytes setAddress = DfuCommand(0x21, kFlashBase);
    ASSERT_TRUE(port.Dnload(0, setAddress.data(), setAddress.size()));
    ASSERT_TRUE(port.ClearStatus());
    ASSERT_TRUE(port.Dnload(0, nullptr, 0));
    io::DfuStatusReport report;
    ASSERT_TRUE(port.GetStatus(report));
    EXPECT_EQ(report.state, dfu::kStateManifest);
}

TEST(Reenumeration, SwitchReportMovesTheSensorToDfuAfterItsDelay)
{
    test::SimulatedBus bus;
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.reenumerateMs = 150;
    bus.Plug(SensorMode::Normal, prototype);
    const std::string hidPath = WaitForInterface(bus, kHidInterfaceClass);
    auto hid = SimulatedHidDevice::Open(hidPath, SimulatedHidDevice::Access::ReadWrite);
    ASSERT_TRUE(hid);

    const auto switched = Clock::now();
    const std::uint8_t toDfu[] = {0x80, 0x00};
    ASSERT_TRUE(hid->SetFeature(toDfu, sizeof toDfu));
    EXPECT_TRUE(bus.Bus().Enumerate(kHidInterfaceClass).empty()) << "it leaves the HID bus at once";
    EXPECT_TRUE(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).empty()) << "and is not yet back";
    std::array<std::uint8_t, 258> report{0x02};
    EXPECT_FALSE(hid->GetFeature(report.data(), report.size())) << "the old HID handle is dead";

    const std::string dfuPath = WaitForInterface(bus, kUsbDeviceInterfaceClass);
    const auto elapsed = Clock::now() - switched;
    ASSERT_FALSE(dfuPath.empty());
    EXPECT_GE(elapsed, std::chrono::milliseconds(140));
    EXPECT_NE(dfuPath, hidPath);
    EXPECT_TRUE(SimulatedDfuTransport::Open(dfuPath));
    EXPECT_FALSE(SimulatedHidDevice::Open(hidPath, SimulatedHidDevice::Access::Probe));
}

TEST(Reenumeration, LeavingDfuBootsTheFirmwareThatTheHeaderDescribes)
{
    test::SimulatedBus bus;
    const std::string serial = bus.Plug(SensorMode::Dfu);
    const Bytes header = FirmwareHeader{Version{3, 7}, Version{1, 0}}.Encode();
    bus.Bus().WriteFlash(serial, kFlashBase + kFirmwareHeaderOffset, header);

    auto port = SimulatedDfuTransport::Open(WaitForInterface(bus, kUsbDeviceInterfaceClass));
    ASSERT_TRUE(port);
    LeaveDfuMode(*port);
    EXPECT_TRUE(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).empty());
    io::DfuStatusReport report;
    EXPECT_FALSE(port->GetStatus(report)) << "the DFU device is gone";

    auto hid =
        SimulatedHidDevice::Open(WaitForInterface(bus, kHidInterfaceClass), SimulatedHidDevice::Access::ReadWrite);
    ASSERT_TRUE(hid);
    const Bytes answer = PlatformAnswer(*hid);
    EXPECT_TRUE(Contains(answer, {0x84, 0x02, 0x00, 0x03, 0x85, 0x02, 0x00, 0x07})) << "firmware 3.7";
    EXPECT_TRUE(Contains(answer, {0x8F, 0x02, 0x00, 0x01, 0x90, 0x02, 0x00, 0x00})) << "schema 1.0";
}

TEST(Reenumeration, WithoutAValidApplicationTheSensorComesBackInDfuMode)
{
    test::SimulatedBus bus;
    bus.Plug(SensorMode::Dfu);
    const std::string path = WaitForInterface(bus, kUsbDeviceInterfaceClass);
    auto port = SimulatedDfuTransport::Open(path);
    ASSERT_TRUE(port);
    const Bytes eraseFirstPage = DfuCommand(0x41, kFlashBase);
    ASSERT_TRUE(port->Dnload(0, eraseFirstPage.data(), eraseFirstPage.size()));
    ASSERT_TRUE(port->ClearStatus());
    LeaveDfuMode(*port);

    EXPECT_EQ(WaitForInterface(bus, kUsbDeviceInterfaceClass), path);
    EXPECT_TRUE(bus.Bus().Enumerate(kHidInterfaceClass).empty());
    EXPECT_FALSE(port->ClearStatus()) << "the handle from before the reset stays dead";
    auto fresh = SimulatedDfuTransport::Open(path);
    ASSERT_TRUE(fresh);
    std::uint8_t state = 0;
    ASSERT_TRUE(fresh->GetState(state));
    EXPECT_EQ(state, dfu::kStateIdle);
}

TEST(Reenumeration, UnpluggedDevicesMakeEveryCallFail)
{
    test::SimulatedBus bus;
    const std::string hidSerial = bus.Plug(SensorMode::Normal);
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.serial = "DFU1";
    bus.Plug(SensorMode::Dfu, prototype);
    auto hid =
        SimulatedHidDevice::Open(WaitForInterface(bus, kHidInterfaceClass), SimulatedHidDevice::Access::ReadWrite);
    auto port = SimulatedDfuTransport::Open(WaitForInterface(bus, kUsbDeviceInterfaceClass));
    ASSERT_TRUE(hid);
    ASSERT_TRUE(port);

    bus.Bus().UnplugAll();
    std::array<std::uint8_t, 258> report{0x02};
    const std::uint8_t toDfu[] = {0x80, 0x00};
    EXPECT_FALSE(hid->Capabilities());
    EXPECT_FALSE(hid->SerialNumberString());
    EXPECT_FALSE(hid->GetFeature(report.data(), report.size()));
    EXPECT_FALSE(hid->SetFeature(toDfu, sizeof toDfu));
    io::DfuStatusReport status;
    Bytes data(16);
    std::size_t received = 0;
    EXPECT_FALSE(port->GetStatus(status));
    EXPECT_FALSE(port->Upload(0, data.data(), data.size(), received));
    EXPECT_FALSE(port->Dnload(0, data.data(), 5));

    // A new sensor with the same serial is another device: old handles stay dead.
    prototype.serial = hidSerial;
    bus.Plug(SensorMode::Normal, prototype);
    EXPECT_FALSE(hid->SerialNumberString());
}

}  // namespace
}  // namespace tarnix::sim
