// Memory maps read from a virtual sensor, and erase and programming operations on the library's thread.

#include "dfuse/DfuseApi.h"
#include "tests/dfuse/HexText.h"
#include "tests/dfuse/ImageHandle.h"
#include "tests/dfuse/OperationRunner.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using Element = ImageHandle::Element;
using Outcome = OperationRunner::Outcome;
using namespace tarnix::test::sensor_flash;

class OperationTest : public ::testing::Test {
protected:
    void SetUp() override { Plug({}); }

    void Plug(const std::vector<std::string>& options)
    {
        serial_ = bus_.PlugDfuSensor(options);
        ASSERT_FALSE(serial_.empty()) << "tarnix-sim plug failed";
        path_ = bus_.DevicePath(serial_);
        ASSERT_FALSE(path_.empty());
    }

    void LoadHex(ImageHandle& image, std::uint32_t address, const std::vector<std::uint8_t>& bytes)
    {
        const std::string path = bus_.Files().Write("image.hex", HexText().Block(address, bytes).End().Text());
        ASSERT_EQ(STDFUFILES_ImageFromFile(path.c_str(), image.Out(), 0), DFUSE_STATUS_SUCCESS);
    }

    void FilterFor(ImageHandle& image, std::uint32_t operation)
    {
        ASSERT_EQ(OperationRunner::Filter(path_, image.Get(), operation), DFUSE_STATUS_SUCCESS);
    }

    DFUThreadContext ContextFor(std::uint32_t operation, void* image, bool skipErased = true) const
    {
        return OperationRunner::Context(path_, operation, image, skipErased);
    }

    static Outcome Run(const DFUThreadContext& context) { return OperationRunner::Run(context); }

    static void ExpectSucceeded(const Outcome& outcome)
    {
        EXPECT_EQ(outcome.launch, DFUSE_STATUS_SUCCESS);
        EXPECT_EQ(outcome.stop, DFUSE_STATUS_SUCCESS);
        EXPECT_EQ(outcome.errorCode, DFUSE_STATUS_SUCCESS);
        EXPECT_EQ(outcome.percent, 100);
        ASSERT_FALSE(outcome.percents.empty());
        EXPECT_EQ(outcome.percents.back(), 100);
        EXPECT_TRUE(std::is_sorted(outcome.percents.begin(), outcome.percents.end()));
    }

    tarnix::test::SimulatedBus bus_;
    std::string serial_;
    std::string path_;
};

TEST_F(OperationTest, TheMappingDescribesTheSensorsFlash)
{
    MAPPING* mapping = nullptr;
    unsigned long alternates = 0;
    ASSERT_EQ(STDFUPRT_CreateMappingFromDevice(path_.c_str(), &mapping, &alternates), DFUSE_STATUS_SUCCESS);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(alternates, 1u);
    EXPECT_STREQ(mapping->Name, "Internal Flash");
    ASSERT_EQ(mapping->NbSectors, 64u);
    EXPECT_EQ(mapping->pSectors[0].dwStartAddress, kStart);
    EXPECT_EQ(mapping->pSectors[63].dwStartAddress, kStart + 63 * kPage);
    EXPECT_EQ(mapping->pSectors[63].dwSectorSize, kPage);

    MAPPING* stale = mapping;
    ASSERT_EQ(STDFUPRT_DestroyMapping(&mapping), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(mapping, nullptr);
    EXPECT_EQ(STDFUPRT_DestroyMapping(&stale), DFUSE_ERROR_BAD_HANDLE);
    MAPPING foreign{};
    MAPPING* foreignPointer = &foreign;
    EXPECT_EQ(STDFUPRT_DestroyMapping(&foreignPointer), DFUSE_ERROR_BAD_HANDLE);
}

TEST_F(OperationTest, NoMappingWithoutADevice)
{
    MAPPING* mapping = nullptr;
    unsigned long alternates = 0;
    EXPECT_EQ(STDFUPRT_CreateMappingFromDevice("\\\\?\\usb#none", &mapping, &alternates), DFUSE_ERROR_NO_DEVICE);
    EXPECT_EQ(mapping, nullptr);
    EXPECT_EQ(STDFUPRT_CreateMappingFromDevice(path_.c_str(), nullptr, &alternates), DFUSE_ERROR_BAD_PARAMETER);
}

TEST_F(OperationTest, AFirmwareWriteLeavingTheParameterPageErasedKeepsTheStoredParameters)
{
    const std::vector<std::uint8_t> old = Pattern(0x5800, 1);
    ASSERT_TRUE(bus_.WriteFlash(serial_, kStart, old));
    std::vector<std::uint8_t> firmware = Pattern(0x5000, 77);
    std::fill(firmware.begin() + 0x4000, firmware.begin() + 0x4800, 0xFF);

    ImageHandle eraseImage;
    LoadHex(eraseImage, kStart, firmware);
    FilterFor(eraseImage, DFUSE_OPERATION_ERASE);
    const Outcome erase = Run(ContextFor(DFUSE_OPERATION_ERASE, eraseImage.Get()));
    ExpectSucceeded(erase);
    std::vector<std::uint8_t> expected(0x5800, 0xFF);
    std::copy(old.begin() + 0x4000, old.begin() + 0x4800, expected.begin() + 0x4000);
    std::copy(old.begin() + 0x5000, old.end(), expected.begin() + 0x5000);
    ASSERT_EQ(bus_.ReadFlash(serial_, kStart, 0x5800), expected);

    ImageHandle programImage;
    LoadHex(programImage, kStart, firmware);
    FilterFor(programImage, DFUSE_OPERATION_PROGRAM);
    const Outcome program = Run(ContextFor(DFUSE_OPERATION_PROGRAM, programImage.Get()));
    ExpectSucceeded(program);
    std::copy(firmware.begin(), firmware.begin() + 0x4000, expected.begin());
    std::copy(firmware.begin() + 0x4800, firmware.end(), expected.begin() + 0x4800);
    EXPECT_EQ(bus_.ReadFlash(serial_, kStart, 0x5800), expected);
}

TEST_F(OperationTest, ProgressIsReportedWhileTheOperationRuns)
{
    Plug({"--page-ms", "10"});  // 2 KiB per 10 ms: long enough to be seen between 0 and 100
    ImageHandle image;
    LoadHex(image, kStart + 0x8000, Pattern(16 * kPage, 5));
    const Outcome erase = Run(ContextFor(DFUSE_OPERATION_ERASE, image.Get()));
    ExpectSucceeded(erase);
    EXPECT_TRUE(std::any_of(erase.percents.begin(), erase.percents.end(), [](int p) { return p > 0 && p < 100; }));
    const Outcome program = Run(ContextFor(DFUSE_OPERATION_PROGRAM, image.Get()));
    ExpectSucceeded(program);
    EXPECT_TRUE(std::any_of(program.percents.begin(), program.percents.end(), [](int p) { return p > 0 && p < 100; }));
    EXPECT_EQ(bus_.ReadFlash(serial_, kStart + 0x8000, 16 * kPage), Pattern(16 * kPage, 5));
}

TEST_F(OperationTest, ErasedBlocksAreSkippedOnlyWhenAsked)
{
    // Page 1 holds old data; an image whose page 1 is all 0xFF must not program over it.
    std::vector<std::uint8_t> before(3 * kPage, 0xFF);
    const std::vector<std::uint8_t> old = Pattern(kPage, 9);
    std::copy(old.begin(), old.end(), before.begin() + kPage);
    std::vector<std::uint8_t> image = Pattern(3 * kPage, 40);
    std::fill(image.begin() + kPage, image.begin() + 2 * kPage, 0xFF);

    ImageHandle unfiltered;
    LoadHex(unfiltered, kStart + 0x10000, image);
    ASSERT_TRUE(bus_.WriteFlash(serial_, kStart + 0x10000, before));
    ExpectSucceeded(Run(ContextFor(DFUSE_OPERATION_PROGRAM, unfiltered.Get(), true)));
    std::vector<std::uint8_t> expected = image;
    std::copy(old.begin(), old.end(), expected.begin() + kPage);
    EXPECT_EQ(bus_.ReadFlash(serial_, kStart + 0x10000, 3 * kPage), expected);

    ASSERT_TRUE(bus_.WriteFlash(serial_, kStart + 0x10000, before));
    const Outcome sendingAll = Run(ContextFor(DFUSE_OPERATION_PROGRAM, unfiltered.Get(), false));
    EXPECT_EQ(sendingAll.stop, DFUSE_ERROR_DEVICE_STATUS);  // the device will not program over old data
    EXPECT_EQ(sendingAll.errorCode, DFUSE_ERROR_DEVICE_STATUS);
    EXPECT_LT(sendingAll.percent, 100);
    EXPECT_EQ(sendingAll.currentAddress, kStart + 0x10000 + kPage);
    EXPECT_EQ(sendingAll.currentRequest, DFUSE_REQUEST_DOWNLOAD);
}

TEST_F(OperationTest, AShortLastBlockLandsAtItsOwnAddress)
{
    const std::vector<std::uint8_t> bytes = Pattern(2 * kPage + 100, 3);
    ImageHandle image;
    LoadHex(image, kStart + 0x12000 + 6, bytes);  // neither start nor end aligned
    ExpectSucceeded(Run(ContextFor(DFUSE_OPERATION_ERASE, image.Get())));
    ExpectSucceeded(Run(ContextFor(DFUSE_OPERATION_PROGRAM, image.Get())));
    std::vector<std::uint8_t> expected(3 * kPage, 0xFF);
    std::copy(bytes.begin(), bytes.end(), expected.begin() + 6);
    EXPECT_EQ(bus_.ReadFlash(serial_, kStart + 0x12000, 3 * kPage), expected);
}

struct FaultCase {
    const char* fault;
    std::uint32_t operation;
    std::uint32_t expected;
};

class OperationFaultTest : public OperationTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(OperationFaultTest, TheFailureIsReportedThroughTheErrorCode)
{
    ImageHandle image;
    LoadHex(image, kStart + 0x10000, Pattern(4 * kPage, 8));
    ASSERT_TRUE(bus_.Fault(serial_, GetParam().fault));
    const Outcome outcome = Run(ContextFor(GetParam().operation, image.Get()));
    EXPECT_EQ(outcome.launch, DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(outcome.lastStatusCall, GetParam().expected);
    EXPECT_EQ(outcome.stop, GetParam().expected);
    EXPECT_EQ(outcome.errorCode, GetParam().expected);
    EXPECT_LT(outcome.percent, 100);
}

INSTANTIATE_TEST_SUITE_P(Faults, OperationFaultTest,
                         ::testing::Values(FaultCase{"erase", DFUSE_OPERATION_ERASE, DFUSE_ERROR_REQUEST_FAILED},
                                           FaultCase{"open", DFUSE_OPERATION_ERASE, DFUSE_ERROR_NO_DEVICE},
                                           FaultCase{"address", DFUSE_OPERATION_PROGRAM, DFUSE_ERROR_REQUEST_FAILED},
                                           FaultCase{"download", DFUSE_OPERATION_PROGRAM, DFUSE_ERROR_REQUEST_FAILED},
                                           FaultCase{"program", DFUSE_OPERATION_PROGRAM, DFUSE_ERROR_DEVICE_STATUS},
                                           FaultCase{"stall", DFUSE_OPERATION_PROGRAM, DFUSE_ERROR_REQUEST_FAILED},
                                           FaultCase{"unplug", DFUSE_OPERATION_PROGRAM, DFUSE_ERROR_REQUEST_FAILED}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.fault); });

TEST_F(OperationTest, StoppingARunningOperationCancelsIt)
{
    Plug({"--page-ms", "100"});
    ImageHandle image;
    LoadHex(image, kStart + 0x8000, Pattern(20 * kPage, 5));
    DFUThreadContext context = ContextFor(DFUSE_OPERATION_ERASE, image.Get());
    unsigned long id = 0;
    ASSERT_EQ(STDFUPRT_LaunchOperation(&context, &id), DFUSE_STATUS_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(STDFUPRT_StopOperation(id, &context), DFUSE_ERROR_OPERATION_CANCELLED);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
    EXPECT_EQ(std::uint32_t{context.ErrorCode}, DFUSE_ERROR_OPERATION_CANCELLED);
    EXPECT_LT(context.Percent, 100);
    EXPECT_EQ(STDFUPRT_StopOperation(id, &context), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFUPRT_GetOperationStatus(id, &context), DFUSE_ERROR_BAD_HANDLE);
}

TEST_F(OperationTest, AnUnknownDeviceLinkFailsTheOperation)
{
    ImageHandle image;
    LoadHex(image, kStart, Pattern(16, 1));
    DFUThreadContext context = ContextFor(DFUSE_OPERATION_ERASE, image.Get());
    std::strcpy(context.szDevLink, "\\\\?\\usb#vid_0483&pid_df11#NOSUCH#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    const Outcome outcome = Run(context);
    EXPECT_EQ(outcome.launch, DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(outcome.stop, DFUSE_ERROR_NO_DEVICE);
    EXPECT_EQ(outcome.errorCode, DFUSE_ERROR_NO_DEVICE);
}

TEST_F(OperationTest, UnusableContextsAreRefusedAtLaunch)
{
    ImageHandle image;
    LoadHex(image, kStart, Pattern(16, 1));
    unsigned long id = 0;

    DFUThreadContext unknownOperation = ContextFor(1, image.Get());
    EXPECT_EQ(STDFUPRT_LaunchOperation(&unknownOperation, &id), DFUSE_ERROR_BAD_PARAMETER);
    DFUThreadContext unterminated = ContextFor(DFUSE_OPERATION_ERASE, image.Get());
    std::memset(unterminated.szDevLink, 'x', sizeof unterminated.szDevLink);
    EXPECT_EQ(STDFUPRT_LaunchOperation(&unterminated, &id), DFUSE_ERROR_BAD_PARAMETER);
    DFUThreadContext empty = ContextFor(DFUSE_OPERATION_ERASE, image.Get());
    empty.szDevLink[0] = '\0';
    EXPECT_EQ(STDFUPRT_LaunchOperation(&empty, &id), DFUSE_ERROR_BAD_PARAMETER);
    DFUThreadContext noImage = ContextFor(DFUSE_OPERATION_ERASE, nullptr);
    EXPECT_EQ(STDFUPRT_LaunchOperation(&noImage, &id), DFUSE_ERROR_BAD_HANDLE);
    DFUThreadContext good = ContextFor(DFUSE_OPERATION_ERASE, image.Get());
    EXPECT_EQ(STDFUPRT_LaunchOperation(nullptr, &id), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFUPRT_LaunchOperation(&good, nullptr), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFUPRT_GetOperationStatus(12345, &good), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFUPRT_StopOperation(12345, &good), DFUSE_ERROR_BAD_HANDLE);
}

TEST_F(OperationTest, TheOperationKeepsItsOwnCopyOfTheImage)
{
    const std::vector<std::uint8_t> bytes = Pattern(kPage, 12);
    ImageHandle image;
    LoadHex(image, kStart + 0x14000, bytes);
    DFUThreadContext context = ContextFor(DFUSE_OPERATION_ERASE, image.Get());
    unsigned long id = 0;
    ASSERT_EQ(STDFUPRT_LaunchOperation(&context, &id), DFUSE_STATUS_SUCCESS);
    ASSERT_EQ(STDFUFILES_DestroyImage(image.Out()), DFUSE_STATUS_SUCCESS);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (STDFUPRT_GetOperationStatus(id, &context) == DFUSE_STATUS_SUCCESS && context.Percent < 100 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(STDFUPRT_StopOperation(id, &context), DFUSE_STATUS_SUCCESS);
}

}  // namespace
