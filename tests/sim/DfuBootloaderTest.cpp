#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/DfuBootloader.h"
#include "sim/sensor/FlashMemory.h"
#include "io/DfuProtocol.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

namespace tarnix::sim {
namespace {

namespace dfu = io::dfu;
using Bytes = std::vector<std::uint8_t>;
using test::sensor_flash::DfuCommand;

Bytes Pattern(std::size_t length, std::uint8_t seed)
{
    Bytes bytes(length);
    std::iota(bytes.begin(), bytes.end(), seed);
    return bytes;
}

class DfuBootloaderTest : public ::testing::Test {
protected:
    DfuOutcome Dnload(std::uint16_t block, const Bytes& data)
    {
        return Bootloader().Dnload(block, data.data(), data.size(), flash_);
    }
    DfuOutcome SetAddress(std::uint32_t address) { return Dnload(0, DfuCommand(0x21, address)); }
    DfuOutcome Erase(std::uint32_t address) { return Dnload(0, DfuCommand(0x41, address)); }
    DfuOutcome Upload(std::uint16_t block, Bytes& data, std::size_t& received)
    {
        return Bootloader().Upload(block, data.data(), data.size(), received, flash_);
    }
    io::DfuStatusReport Status()
    {
        io::DfuStatusReport report;
        lastStatus_ = Bootloader().GetStatus(report);
        return report;
    }
    void ExpectError(std::uint8_t status)
    {
        const io::DfuStatusReport report = Status();
        EXPECT_EQ(report.state, dfu::kStateError);
        EXPECT_EQ(report.status, status);
    }
    void ToIdle() { ASSERT_TRUE(Bootloader().ClearStatus().answered); }
    DfuBootloader Bootloader() { return DfuBootloader(registers_, fault_); }

    DfuRegisters registers_;
    Fault fault_ = Fault::None;
    FlashMemory flash_;
    DfuOutcome lastStatus_;
};

TEST_F(DfuBootloaderTest, SetAddressAndEraseAreBlockZeroCommands)
{
    ASSERT_TRUE(flash_.Overwrite(kParameterAddress, Pattern(16, 1).data(), 16));
    const DfuOutcome set = SetAddress(0x08001000);
    EXPECT_TRUE(set.answered);
    EXPECT_EQ(registers_.addressPointer, 0x08001000u);
    EXPECT_EQ(Status().state, dfu::kStateDnloadIdle);

    const DfuOutcome erase = Erase(kParameterAddress + 0x10);  // any address inside the page erases it
    EXPECT_TRUE(erase.answered);
    EXPECT_TRUE(erase.flashChanged);
    EXPECT_EQ(erase.busyPages, 1u);
    EXPECT_EQ(flash_.Bytes()[kParameterOffset], 0xFF);
    EXPECT_EQ(flash_.Bytes()[kParameterOffset + 15], 0xFF);
    EXPECT_EQ(Status().status, dfu::kStatusOk);
}

TEST_F(DfuBootloaderTest, DataBlocksLandAtPointerPlusBlockMinusTwoTimesLength)
{
    ASSERT_TRUE(Erase(kParameterAddress).answered);
    // The host's parameter transfer: pointer 0x08004000 - 6 x length, block 8.
    for (std::size_t length : {std::size_t{2048}, std::size_t{100}}) {
        ToIdle();
        ASSERT_TRUE(Erase(kParameterAddress).answered);
        ASSERT_TRUE(SetAddress(static_cast<std::uint32_t>(kParameterAddress - 6 * length)).answered);
        const Bytes data = Pattern(length, static_cast<std::uint8_t>(length));
        const DfuOutcome written = Dnload(8, data);
        EXPECT_TRUE(written.answered);
        EXPECT_EQ(written.busyPages, 1u);
        EXPECT_EQ(Status().status, dfu::kStatusOk);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), flash_.Bytes().begin() + kParameterOffset)) << length;

        ToIdle();
        Bytes back(length);
        std::size_t received = 0;
        EXPECT_TRUE(Upload(8, back, received).answered);
        EXPECT_EQ(received, length);
        EXPECT_EQ(back, data);
        EXPECT_EQ(Status().state, dfu::kStateUploadIdle);
    }
}

TEST_F(DfuBootloaderTest, ConsecutiveBlocksFollowEachOther)
{
    ASSERT_TRUE(Erase(kFlashBase).answered);
    ASSERT_TRUE(SetAddress(kFlashBase).answered);
    ASSERT_TRUE(Dnload(2, Pattern(256, 0)).answered);
    ASSERT_TRUE(Dnload(3, Pattern(256, 100)).answered);
    EXPECT_EQ(flash_.Bytes()[0], 0);
    EXPECT_EQ(flash_.Bytes()[256], 100);
    EXPECT_EQ(flash_.Bytes()[511], static_cast<std::uint8_t>(100 + 255));
}

TEST_F(DfuBootloaderTest, UploadBlockZeroListsTheCommands)
{
    Bytes list(8, 0xEE);
    std::size_t received = 0;
    EXPECT_TRUE(Upload(0, list, received).answered);
    ASSERT_EQ(received, 3u);
    EXPECT_EQ(Bytes(list.begin(), list.begin() + 3), (Bytes{0x00, 0x21, 0x41}));
}

TEST_F(DfuBootloaderTest, RefusedRequestsEndInErrorWithTheirStatus)
{
    EXPECT_TRUE(SetAddress(0x08020000).answered);  // just past the flash
    ExpectError(dfu::kErrTarget);
    EXPECT_FALSE(registers_.addressPointer.has_value());

    ToIdle();
    EXPECT_TRUE(Erase(0x20000000).answered);
    ExpectError(dfu::kErrTarget);

    ToIdle();
    EXPECT_TRUE(Dnload(2, Pattern(16, 0)).answered);  // data before any address pointer
    ExpectError(dfu::kErrAddress);

    ToIdle();
    ASSERT_TRUE(SetAddress(0x0801F800).answered);
    EXPECT_TRUE(Dnload(3, Pattern(2048, 0)).answered);  // 0x0801F800 + 2048 is past the end
    ExpectError(dfu::kErrAddress);

    ToIdle();
    Bytes data(2048);
    std::size_t received = 99;
    EXPECT_TRUE(Upload(3, data, received).answered);
    EXPECT_EQ(received, 0u);
    ExpectError(dfu::kErrAddress);
}

TEST_F(DfuBootloaderTest, ProgrammingOntoUnerasedFlashIsRefused)
{
    ASSERT_TRUE(flash_.Overwrite(kFlashBase, Bytes(16, 0x00).data(), 16));
    ASSERT_TRUE(SetAddress(kFlashBase).answered);
    EXPECT_TRUE(Dnload(2, Bytes(16, 0x5A)).answered);
    ExpectError(dfu::kErrCheckErased);
    EXPECT_EQ(flash_.Bytes()[0], 0x00);
}

TEST_F(DfuBootloaderTest, ProtocolViolationsStallAndKeepAnEarlierError)
{
    EXPECT_FALSE(Dnload(0, Bytes{0x92}).answered);  // a command this bootloader does not know
    ExpectError(dfu::kErrStalledPkt);

    ToIdle();
    EXPECT_FALSE(Dnload(1, Bytes(4, 0)).answered);
    ExpectError(dfu::kErrStalledPkt);

    ToIdle();
    ASSERT_TRUE(SetAddress(kFlashBase).answered);
    EXPECT_FALSE(Dnload(2, Bytes(kDfuTransferSize + 1, 0xFF)).answered);
    ExpectError(dfu::kErrStalledPkt);

    ToIdle();
    ASSERT_TRUE(SetAddress(kFlashBase).answered);
    Bytes data(16);
    std::size_t received = 0;
    EXPECT_FALSE(Upload(2, data, received).answered) << "UPLOAD straight after a DNLOAD";
    ExpectError(dfu::kErrStalledPkt);

    ToIdle();
    EXPECT_TRUE(SetAddress(0x10000000).answered);
    EXPECT_FALSE(Dnload(2, Bytes(4, 0)).answered) << "DNLOAD in dfuERROR";
    ExpectError(dfu::kErrTarget);
}

TEST_F(DfuBootloaderTest, ClearStatusAndAbortReturnToIdleFromEveryState)
{
    for (bool useAbort : {false, true}) {
        EXPECT_TRUE(SetAddress(0x00000000).answered);
        ASSERT_EQ(Status().state, dfu::kStateError);
        EXPECT_TRUE((useAbort ? Bootloader().Abort() : Bootloader().ClearStatus()).answered);
        io::DfuStatusReport report = Status();
        EXPECT_EQ(report.state, dfu::kStateIdle);
        EXPECT_EQ(report.status, dfu::kStatusOk);

        Bytes data(4);
        std::size_t received = 0;
        ASSERT_TRUE(Upload(0, data, received).answered);
        ASSERT_EQ(Status().state, dfu::kStateUploadIdle);
        EXPECT_TRUE((useAbort ? Bootloader().Abort() : Bootloader().ClearStatus()).answered);
        EXPECT_EQ(Status().state, dfu::kStateIdle);
    }
}

TEST_F(DfuBootloaderTest, ZeroLengthDnloadLeavesOnTheNextGetStatus)
{
    ASSERT_TRUE(SetAddress(kFlashBase).answered);
    ToIdle();
    const DfuOutcome leave = Bootloader().Dnload(0, nullptr, 0, flash_);
    EXPECT_TRUE(leave.answered);
    EXPECT_EQ(leave.event, DfuEvent::None);
    std::uint8_t state = 0;
    ASSERT_TRUE(Bootloader().GetState(state).answered);
    EXPECT_EQ(state, dfu::kStateManifest);

    const io::DfuStatusReport report = Status();
    EXPECT_EQ(report.state, dfu::kStateManifest);
    EXPECT_EQ(report.status, dfu::kStatusOk);
    EXPECT_EQ(lastStatus_.event, DfuEvent::LeaveDfuMode);
}

TEST_F(DfuBootloaderTest, AbortCancelsAPendingLeave)
{
    ASSERT_TRUE(Bootloader().Dnload(0, nullptr, 0, flash_).answered);
    ASSERT_TRUE(Bootloader().Abort().answered);
    EXPECT_EQ(Status().state, dfu::kStateIdle);
    EXPECT_EQ(lastStatus_.event, DfuEvent::None);
}

TEST_F(DfuBootloaderTest, MassEraseClearsEveryPage)
{
    ASSERT_TRUE(flash_.Overwrite(kFlashBase, Bytes(kFlashSize, 0x00).data(), kFlashSize));
    const DfuOutcome erase = Dnload(0, Bytes{0x41});
    EXPECT_TRUE(erase.answered);
    EXPECT_EQ(erase.busyPages, kFlashPageCount);
    EXPECT_TRUE(std::all_of(flash_.Bytes().begin(), flash_.Bytes().end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(DfuBootloaderTest, DataAcrossAPageBoundaryCostsTwoPages)
{
    ASSERT_TRUE(SetAddress(kFlashBase + kFlashPageSize - 8).answered);
    EXPECT_EQ(Dnload(2, Bytes(16, 0x11)).busyPages, 2u);
}

}  // namespace
}  // namespace tarnix::sim
