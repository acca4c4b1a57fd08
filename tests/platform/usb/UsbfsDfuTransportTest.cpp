#include "platform/BackendFactories.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "tests/platform/usb/UsbTestBus.h"

namespace {

using namespace std::chrono_literals;
using tarnix::io::DfuStatusReport;
using tarnix::io::DfuTransport;
using tarnix::platform::OpenDfuTransport;
using tarnix::test::ScriptedDfuDevice;
using tarnix::test::UsbTestBus;
using tarnix::test::descriptors::Bytes;
using tarnix::test::usb_records::DfuDeviceRecord;
using Log = std::vector<std::string>;

constexpr std::uint8_t kUpload = 2;

// What the transport says when it claims the interface: detach a kernel driver and claim in one request that
// spares another program's claim, alternate setting 0, then the layout string (string 4 in US English, up
// to 255 bytes).
const Log kOpening{"disconnect-claim 0 except usbfs", "setinterface 0 0", "control 80 06 0304 0409 255 5000"};

Log Appended(Log log, std::initializer_list<std::string> more)
{
    log.insert(log.end(), more);
    return log;
}

TEST(UsbfsDfuTransport, OpensTheDfuInterfaceAndCarriesTheDfuRequests)
{
    UsbTestBus bus;
    DfuDeviceRecord record;
    auto device = bus.Plug(record);
    std::unique_ptr<DfuTransport> dfu = OpenDfuTransport(record.Node());
    ASSERT_TRUE(dfu);
    EXPECT_EQ(device->Log(), kOpening);
    EXPECT_EQ(dfu->MemoryLayout(), "@Internal Flash  /0x08000000/64*002Kg");
    EXPECT_EQ(dfu->TransferSize(), 2048);
    EXPECT_EQ(dfu->VendorId(), 0x0483);
    EXPECT_EQ(dfu->ProductId(), 0xDF11);
    EXPECT_EQ(dfu->BcdDevice(), 0x2200);

    const std::uint8_t setAddress[] = {0x21, 0x00, 0x40, 0x00, 0x08};
    ASSERT_TRUE(dfu->Dnload(0, setAddress, sizeof setAddress));
    DfuStatusReport status;
    ASSERT_TRUE(dfu->GetStatus(status));
    EXPECT_EQ(status.state, 5) << "dfuDNLOAD-IDLE";
    EXPECT_EQ(status.pollTimeoutMs, 10u);
    ASSERT_TRUE(dfu->ClearStatus());
    std::vector<std::uint8_t> block(2048);
    std::size_t received = 0;
    ASSERT_TRUE(dfu->Upload(8, block.data(), block.size(), received));
    EXPECT_EQ(received, 2048u);
    EXPECT_EQ(block[0], ScriptedDfuDevice::Pattern(8, 0));
    EXPECT_EQ(block[2047], ScriptedDfuDevice::Pattern(8, 2047));
    std::uint8_t state = 0;
    ASSERT_TRUE(dfu->GetState(state));
    EXPECT_EQ(state, 9) << "dfuUPLOAD-IDLE";
    ASSERT_TRUE(dfu->Abort());
    ASSERT_TRUE(dfu->Dnload(0, nullptr, 0)) << "leave DFU mode";
    ASSERT_TRUE(dfu->GetStatus(status));
    EXPECT_TRUE(device->HasLeftDfuMode());

    EXPECT_EQ(device->Log(), Appended(kOpening, {"control 21 01 0000 0000 5 5000", "control a1 03 0000 0000 6 5000",
                                                 "control 21 04 0000 0000 0 5000", "control a1 02 0008 0000 2048 5000",
                                                 "control a1 05 0000 0000 1 5000", "control 21 06 0000 0000 0 5000",
                                                 "control 21 01 0000 0000 0 5000", "control a1 03 0000 0000 6 5000"}));
    const auto downloads = device->Downloads();
    ASSERT_EQ(downloads.size(), 2u);
    EXPECT_EQ(downloads[0], Bytes(setAddress, setAddress + sizeof setAddress));
    EXPECT_TRUE(downloads[1].empty());

    dfu.reset();
    EXPECT_EQ(device->Log().back(), "release 0") << "closing gives the interface back";
}

TEST(UsbfsDfuTransport, StalledRequestFails)
{
    UsbTestBus bus;
    DfuDeviceRecord record;
    auto device = bus.Plug(record);
    device->Stall(kUpload);
    auto dfu = OpenDfuTransport(record.Node());
    ASSERT_TRUE(dfu);
    std::uint8_t data[16];
    std::size_t received = 99;
    EXPECT_FALSE(dfu->Upload(2, data, sizeof data, received));
    EXPECT_EQ(received, 99u) << "nothing received";
    DfuStatusReport status;
    EXPECT_TRUE(dfu->GetStatus(status)) << "the device still answers";
}

TEST(UsbfsDfuTransport, DeviceRemovedDuringATransferFailsTheRequestWithoutHanging)
{
    UsbTestBus bus;
    DfuDeviceRecord record;
    auto device = bus.Plug(record);
    auto dfu = OpenDfuTransport(record.Node());
    ASSERT_TRUE(dfu);
    device->HoldNextUpload();
    std::vector<std::uint8_t> block(2048);
    std::size_t received = 0;
    auto upload = std::async(std::launch::async, [&] { return dfu->Upload(2, block.data(), block.size(), received); });
    ASSERT_TRUE(device->WaitForHeldUpload(10s));
    EXPECT_EQ(upload.wait_for(50ms), std::future_status::timeout) << "the transfer is under way";

    bus.Unplug(record);
    device->FailHeldUpload(ENODEV);
    ASSERT_EQ(upload.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(upload.get());
    EXPECT_EQ(device->Log().back(), "control a1 02 0002 0000 2048 5000") << "sent with the transfer time-out";

    DfuStatusReport status;
    EXPECT_FALSE(dfu->GetStatus(status)) << "every later request fails too";
    EXPECT_FALSE(dfu->Abort());
    EXPECT_FALSE(OpenDfuTransport(record.Node())) << "the device is gone";
}

TEST(UsbfsDfuTransport, OpenFailsWithoutAUsableDfuInterface)
{
    UsbTestBus bus;
    EXPECT_FALSE(OpenDfuTransport("/dev/bus/usb/001/077")) << "no such device";
    EXPECT_FALSE(OpenDfuTransport("/dev/bus/usb/001/001")) << "the root hub has no DFU interface";

    DfuDeviceRecord noFunctional;
    noFunctional.port = 1;
    noFunctional.devnum = 4;
    using namespace tarnix::test::descriptors;
    noFunctional.descriptors = Join({DeviceDescriptor(0x0483, 0xDF11, 0x2200), ConfigurationDescriptor(18),
                                     InterfaceDescriptor(0, 0, 0xFE, 0x01, 4)});
    auto device = bus.Plug(noFunctional);
    EXPECT_FALSE(OpenDfuTransport(noFunctional.Node()));
    EXPECT_TRUE(device->Log().empty()) << "refused on its descriptors alone";

    DfuDeviceRecord noNode;
    noNode.port = 2;
    noNode.devnum = 5;
    noNode.hasNode = false;
    bus.Plug(noNode);
    EXPECT_FALSE(OpenDfuTransport(noNode.Node()));
}

TEST(UsbfsDfuTransport, OpenFailsWhenTheInterfaceCannotBeClaimed)
{
    struct Case {
        int claim, setInterface;
        Log log;
    };
    const Case cases[] = {
        {EPERM, 0, {"disconnect-claim 0 except usbfs"}},
        {0, EINVAL, {"disconnect-claim 0 except usbfs", "setinterface 0 0", "release 0"}},
    };
    int port = 1;
    for (const Case& c : cases) {
        UsbTestBus bus;
        DfuDeviceRecord record;
        record.port = port;
        record.devnum = 10 + port++;
        auto device = bus.Plug(record);
        device->SetInterfaceErrors(c.claim, c.setInterface);
        EXPECT_FALSE(OpenDfuTransport(record.Node()));
        EXPECT_EQ(device->Log(), c.log) << "a claimed interface is given back";
    }
}

TEST(UsbfsDfuTransport, AKernelDriverIsDetachedButAnotherProgramsClaimIsNeverTakenAway)
{
    UsbTestBus bus;
    DfuDeviceRecord held;
    auto holder = bus.Plug(held);
    holder->BindDriver("usbfs");
    EXPECT_FALSE(OpenDfuTransport(held.Node())) << "busy: an open failure";
    EXPECT_EQ(holder->Log(), Log{"disconnect-claim 0 except usbfs"});
    EXPECT_EQ(holder->BoundDriver(), "usbfs") << "the other program keeps the interface";

    DfuDeviceRecord driven;
    driven.port = 3;
    driven.devnum = 7;
    auto device = bus.Plug(driven);
    device->BindDriver("dfu_kernel_driver");
    auto dfu = OpenDfuTransport(driven.Node());
    ASSERT_TRUE(dfu);
    EXPECT_EQ(device->Log(), kOpening);
    EXPECT_EQ(device->BoundDriver(), "usbfs") << "the kernel driver was detached and the interface is ours";
    dfu.reset();
    EXPECT_EQ(device->BoundDriver(), "") << "released when the transport goes";
}

// The kernel refuses a claimed interface to every other file, one of this process too; the firmware
// operation opens a device again while it is connected.
TEST(UsbfsDfuTransport, OpeningAnOpenDeviceAgainSharesTheClaimUntilTheLastTransportGoes)
{
    UsbTestBus bus;
    DfuDeviceRecord record;
    auto device = bus.Plug(record);
    auto first = OpenDfuTransport(record.Node());
    ASSERT_TRUE(first);
    auto second = OpenDfuTransport(record.Node());
    ASSERT_TRUE(second) << "the claim this process holds is used, not claimed again";
    EXPECT_EQ(second->MemoryLayout(), "@Internal Flash  /0x08000000/64*002Kg");
    EXPECT_EQ(device->Log(), Appended(kOpening, {"control 80 06 0304 0409 255 5000"}));

    first.reset();
    std::uint8_t state = 0;
    EXPECT_TRUE(second->GetState(state)) << "the claim lives on with the second transport";
    EXPECT_EQ(device->BoundDriver(), "usbfs");
    second.reset();
    EXPECT_EQ(device->Log().back(), "release 0");
    EXPECT_EQ(device->BoundDriver(), "");

    const auto again = OpenDfuTransport(record.Node());
    EXPECT_TRUE(again);
    Log expected =
        Appended(kOpening, {"control 80 06 0304 0409 255 5000", "control a1 05 0000 0000 1 5000", "release 0"});
    expected.insert(expected.end(), kOpening.begin(), kOpening.end());
    EXPECT_EQ(device->Log(), expected) << "claimed afresh";
}

}  // namespace
