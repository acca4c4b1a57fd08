// DFU requests through the STDFU exports against a virtual sensor of the simulated bus.

#include "dfuse/DfuseApi.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace tarnix::test::sensor_flash;

constexpr std::uint8_t kIdle = 2;
constexpr std::uint8_t kDownloadIdle = 5;
constexpr std::uint8_t kManifest = 8;
constexpr std::uint8_t kError = 10;

class StdfuDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        serial_ = bus_.PlugDfuSensor();
        ASSERT_FALSE(serial_.empty()) << "tarnix-sim plug failed";
        path_ = bus_.DevicePath(serial_);
        ASSERT_FALSE(path_.empty()) << "no device name listed for " << serial_;
        ASSERT_EQ(STDFU_Open(path_.c_str(), &handle_), DFUSE_STATUS_SUCCESS);
        ASSERT_NE(handle_, nullptr);
    }

    void TearDown() override
    {
        if (handle_ != nullptr) {
            STDFU_Close(&handle_);
        }
    }

    std::uint32_t Command(std::uint8_t code, std::uint32_t address)
    {
        std::vector<std::uint8_t> bytes = DfuCommand(code, address);
        return STDFU_Dnload(&handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0);
    }

    DFUSTATUS Status()
    {
        DFUSTATUS status{};
        EXPECT_EQ(STDFU_Getstatus(&handle_, &status), DFUSE_STATUS_SUCCESS);
        return status;
    }

    tarnix::test::SimulatedBus bus_;
    std::string serial_;
    std::string path_;
    void* handle_ = nullptr;
};

TEST_F(StdfuDeviceTest, UploadFollowsThePointerPlusBlockRule)
{
    const std::vector<std::uint8_t> stored = Pattern(kPage, 1);
    ASSERT_TRUE(bus_.WriteFlash(serial_, kParameters, stored));

    ASSERT_EQ(Command(0x21, kParameters - 6 * kPage), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(Status().bState, kDownloadIdle);
    ASSERT_EQ(STDFU_Abort(&handle_), DFUSE_STATUS_SUCCESS);
    std::vector<std::uint8_t> read(kPage);
    ASSERT_EQ(STDFU_Upload(&handle_, read.data(), kPage, 8), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(read, stored);
}

TEST_F(StdfuDeviceTest, ErasesOnePageAndProgramsIt)
{
    const std::vector<std::uint8_t> before = Pattern(3 * kPage, 2);
    ASSERT_TRUE(bus_.WriteFlash(serial_, kParameters - kPage, before));

    ASSERT_EQ(Command(0x41, kParameters), DFUSE_STATUS_SUCCESS);
    DFUSTATUS status = Status();
    EXPECT_EQ(status.bStatus, 0);
    EXPECT_EQ(status.bState, kDownloadIdle);
    std::vector<std::uint8_t> expected = before;
    std::fill(expected.begin() + kPage, expected.begin() + 2 * kPage, 0xFF);
    EXPECT_EQ(bus_.ReadFlash(serial_, kParameters - kPage, 3 * kPage), expected);

    std::vector<std::uint8_t> data = Pattern(kPage, 9);
    ASSERT_EQ(Command(0x21, kParameters - 6 * kPage), DFUSE_STATUS_SUCCESS);
    ASSERT_EQ(Status().bStatus, 0);
    ASSERT_EQ(STDFU_Dnload(&handle_, data.data(), kPage, 8), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(Status().bStatus, 0);
    std::copy(data.begin(), data.end(), expected.begin() + kPage);
    EXPECT_EQ(bus_.ReadFlash(serial_, kParameters - kPage, 3 * kPage), expected);
}

TEST_F(StdfuDeviceTest, ARefusedCommandShowsDfuErrorUntilCleared)
{
    ASSERT_EQ(Command(0x41, 0x20000000), DFUSE_STATUS_SUCCESS);  // outside the flash
    const DFUSTATUS status = Status();
    EXPECT_EQ(status.bState, kError);
    EXPECT_NE(status.bStatus, 0);
    ASSERT_EQ(STDFU_Clrstatus(&handle_), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(Status().bState, kIdle);
    std::uint8_t state = 0;
    ASSERT_EQ(STDFU_Getstate(&handle_, &state), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(state, kIdle);
}

TEST_F(StdfuDeviceTest, DescribesTheDevice)
{
    DFUDEVICEINFO info{};
    ASSERT_EQ(STDFU_GetDeviceInfo(&handle_, &info), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(info.idVendor, 0x0483);
    EXPECT_EQ(info.idProduct, 0xDF11);
    EXPECT_EQ(info.wTransferSize, kPage);

    char layout[64] = {};
    ASSERT_EQ(STDFU_GetMemoryLayout(&handle_, layout, sizeof layout), DFUSE_STATUS_SUCCESS);
    EXPECT_STREQ(layout, "@Internal Flash  /0x08000000/64*002Kg");
    char small[8] = {};
    EXPECT_EQ(STDFU_GetMemoryLayout(&handle_, small, sizeof small), DFUSE_ERROR_BUFFER_TOO_SMALL);
}

TEST_F(StdfuDeviceTest, ASecondHandleOnTheSameDeviceWorksAndClosesOnItsOwn)
{
    void* second = nullptr;
    ASSERT_EQ(STDFU_Open(path_.c_str(), &second), DFUSE_STATUS_SUCCESS);
    EXPECT_NE(second, handle_);
    DFUDEVICEINFO info{};
    EXPECT_EQ(STDFU_GetDeviceInfo(&second, &info), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(STDFU_Close(&second), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(Status().bState, kIdle);
}

TEST_F(StdfuDeviceTest, AZeroLengthDownloadEndsDfuMode)
{
    std::uint8_t unused = 0xFF;
    ASSERT_EQ(STDFU_Dnload(&handle_, &unused, 0, 0), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(Status().bState, kManifest);
    DFUSTATUS after{};
    EXPECT_EQ(STDFU_Getstatus(&handle_, &after), DFUSE_ERROR_REQUEST_FAILED);
    void* second = nullptr;
    EXPECT_EQ(STDFU_Open(path_.c_str(), &second), DFUSE_ERROR_NO_DEVICE);
}

TEST_F(StdfuDeviceTest, AClosedHandleIsRefusedEverywhere)
{
    void* stale = handle_;
    ASSERT_EQ(STDFU_Close(&handle_), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(handle_, nullptr);
    std::uint8_t byte = 0;
    DFUSTATUS status{};
    DFUDEVICEINFO info{};
    char layout[64];
    EXPECT_EQ(STDFU_Dnload(&stale, &byte, 1, 2), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_Upload(&stale, &byte, 1, 2), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_Getstatus(&stale, &status), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_Clrstatus(&stale), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_Getstate(&stale, &byte), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_Abort(&stale), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_GetDeviceInfo(&stale, &info), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_GetMemoryLayout(&stale, layout, sizeof layout), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_Close(&stale), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFU_Close(nullptr), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFU_Abort(nullptr), DFUSE_ERROR_BAD_HANDLE);
}

TEST_F(StdfuDeviceTest, MalformedTransfersAreRefusedBeforeReachingTheDevice)
{
    std::vector<std::uint8_t> large(0x10000);
    EXPECT_EQ(STDFU_Dnload(&handle_, nullptr, 16, 2), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFU_Dnload(&handle_, large.data(), 0x10000, 2), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFU_Upload(&handle_, large.data(), 0, 2), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFU_Upload(&handle_, nullptr, 16, 2), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFU_Getstatus(&handle_, nullptr), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(Status().bState, kIdle);
}

TEST_F(StdfuDeviceTest, UnknownDevicesAndOpenFaultsCannotBeOpened)
{
    void* other = nullptr;
    EXPECT_EQ(STDFU_Open("\\\\?\\usb#vid_0483&pid_df11#NOSUCH#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", &other),
              DFUSE_ERROR_NO_DEVICE);
    EXPECT_EQ(STDFU_Open(nullptr, &other), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFU_Open(path_.c_str(), nullptr), DFUSE_ERROR_BAD_PARAMETER);
    ASSERT_TRUE(bus_.Fault(serial_, "open"));
    EXPECT_EQ(STDFU_Open(path_.c_str(), &other), DFUSE_ERROR_NO_DEVICE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(StdfuDeviceTest, AStalledDeviceFailsEveryRequest)
{
    ASSERT_TRUE(bus_.Fault(serial_, "stall"));
    std::vector<std::uint8_t> data = Pattern(kPage, 3);
    ASSERT_EQ(Command(0x21, 0x08010000), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(STDFU_Dnload(&handle_, data.data(), kPage, 2), DFUSE_ERROR_REQUEST_FAILED);
    DFUSTATUS status{};
    EXPECT_EQ(STDFU_Getstatus(&handle_, &status), DFUSE_ERROR_REQUEST_FAILED);
    EXPECT_EQ(STDFU_Clrstatus(&handle_), DFUSE_ERROR_REQUEST_FAILED);
}

}  // namespace
