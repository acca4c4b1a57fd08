// The bindings of the three DFU libraries, against the real libraries built beside the tests and a
// virtual sensor in DFU mode; and with libraries or exports that are missing.

#include "DfuTestSupport.h"
#include "tests/support/SensorFlash.h"

#include "core/STDFU.h"
#include "core/STDFUFiles.h"
#include "core/STDFUPRT.h"
#include "core/Timer.h"
#include "io/DfuProtocol.h"
#include "sim/images/IntelHexWriter.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Dfuse;

namespace {
using tarnix::test::sensor_flash::kPage;
using tarnix::test::sensor_flash::kParameters;
namespace dfu = tarnix::io::dfu;

std::vector<std::uint8_t> Pattern(std::size_t length, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return bytes;
}
}  // namespace

TEST(DfuBindingAbsentTest, EveryMethodOfAnUnloadedLibraryAnswersFalse)
{
    STDFU stdfu("NoSuchStdfu.dll");
    void* handle = nullptr;
    char data[16] = {};
    DFUSTATUS status{};
    EXPECT_FALSE(stdfu.Open(&handle, "any"));
    EXPECT_FALSE(stdfu.Close(&handle));
    EXPECT_FALSE(stdfu.Dnload(&handle, data, sizeof(data), 2));
    EXPECT_FALSE(stdfu.Upload(&handle, data, sizeof(data)));
    EXPECT_FALSE(stdfu.GetStatus(&handle, &status));
    EXPECT_FALSE(stdfu.Erase(&handle, kParameters));
    EXPECT_FALSE(stdfu.SetAddressPointer(&handle, kParameters));
    EXPECT_FALSE(stdfu.LeaveDFUMode(&handle));

    Utility::Timer timer;
    timer.Start();
    EXPECT_FALSE(stdfu.WaitForDfuIdle(&handle, 5000));
    EXPECT_LT(timer.Current(), 1000.0) << "a failing status request ends the wait at once";

    STDFUFiles files("NoSuchFiles.dll");
    std::string path = "/nonexistent.hex";
    void* image = nullptr;
    unsigned long count = 0;
    EXPECT_FALSE(files.ImageFromFile(path, &image, 0));
    EXPECT_FALSE(files.GetImageNbElement(image, &count));

    STDFUPRT prt("NoSuchPrt.dll");
    DFUThreadContext context{};
    unsigned long operationId = 0;
    EXPECT_FALSE(prt.LaunchOperation(&context, &operationId));
    EXPECT_FALSE(prt.StopOperation(&context, operationId));
}

// A library that lacks an export makes that method fail, while the library itself loads.
TEST(DfuBindingAbsentTest, MissingExportAnswersFalse)
{
    STDFU wrongLibrary("STDFUFiles.dll");
    void* handle = nullptr;
    EXPECT_FALSE(wrongLibrary.Open(&handle, "any"));

    STDFUFiles files;
    void* image = nullptr;
    std::string missing = "/nonexistent/firmware.hex";
    EXPECT_FALSE(files.ImageFromFile(missing, &image, 0)) << "the export exists and refuses a missing file";
}

class DfuBindingTest : public SimulatedBusTest {
protected:
    void SetUp() override
    {
        SimulatedBusTest::SetUp();
        serial = PlugDfuSensor();
        path = DevicePath(serial);
        ASSERT_TRUE(stdfu.Open(&handle, path));
        ASSERT_NE(handle, nullptr);
    }

    void TearDown() override { stdfu.Close(&handle); }

    // Writes the bytes with block 8 after pointing the device at address - 6 x length.
    void Program(unsigned address, std::vector<std::uint8_t> bytes)
    {
        const int length = static_cast<int>(bytes.size());
        ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
        ASSERT_TRUE(stdfu.SetAddressPointer(&handle, address - 6u * bytes.size()));
        ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
        ASSERT_TRUE(stdfu.Dnload(&handle, reinterpret_cast<char*>(bytes.data()), length, 8));
        ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    }

    STDFU stdfu;
    std::string serial;
    std::string path;
    void* handle = nullptr;
};

TEST_F(DfuBindingTest, EraseClearsExactlyThePageAtTheAddress)
{
    const std::vector<std::uint8_t> before = Flash(serial, kParameters - kPage, 3 * kPage);
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.Erase(&handle, kParameters));
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));

    const std::vector<std::uint8_t> after = Flash(serial, kParameters - kPage, 3 * kPage);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + kPage, after.begin())) << "page below untouched";
    EXPECT_TRUE(
        std::all_of(after.begin() + kPage, after.begin() + 2 * kPage, [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::equal(before.begin() + 2 * kPage, before.end(), after.begin() + 2 * kPage))
        << "page above untouched";
    EXPECT_FALSE(std::all_of(before.begin() + kPage, before.begin() + 2 * kPage, [](std::uint8_t b) {
        return b == 0xFF;
    })) << "the factory parameters were there before";
}

// Block 8 lands six transfer lengths above the pointer: pointer 0x08001000 with 2048 bytes reads the
// parameter page, which only works when the address bytes go out little-endian.
TEST_F(DfuBindingTest, UploadReadsSixLengthsAboveTheAddressPointer)
{
    std::vector<char> data(kPage, 0);
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.SetAddressPointer(&handle, 0x08001000));
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.Upload(&handle, data.data(), static_cast<int>(data.size())));

    const std::vector<std::uint8_t> expected = Flash(serial, kParameters, kPage);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reinterpret_cast<const std::uint8_t*>(data.data())));

    std::vector<char> small(256, 0);
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.SetAddressPointer(&handle, 0x08000000));
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.Upload(&handle, small.data(), static_cast<int>(small.size())));
    const std::vector<std::uint8_t> low = Flash(serial, 0x08000000 + 6 * 256, 256);
    EXPECT_TRUE(std::equal(low.begin(), low.end(), reinterpret_cast<const std::uint8_t*>(small.data())));
}

TEST_F(DfuBindingTest, DownloadProgramsAtThePointerRule)
{
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.Erase(&handle, kParameters));
    const std::vector<std::uint8_t> bytes = Pattern(512, 3);
    Program(kParameters + 512, bytes);

    EXPECT_EQ(Flash(serial, kParameters + 512, 512), bytes);
    const std::vector<std::uint8_t> rest = Flash(serial, kParameters, 512);
    EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(DfuBindingTest, WaitForIdleClearsAnErrorState)
{
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.SetAddressPointer(&handle, 0x09000000)) << "answered, but outside the flash";
    DFUSTATUS status{};
    ASSERT_TRUE(stdfu.GetStatus(&handle, &status));
    EXPECT_NE(status.bStatus, dfu::kStatusOk);

    EXPECT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.GetStatus(&handle, &status));
    EXPECT_EQ(status.bState, dfu::kStateIdle);
    EXPECT_EQ(status.bStatus, dfu::kStatusOk);
}

TEST_F(DfuBindingTest, WaitForIdleFailsOnceTheDeviceIsGone)
{
    bus->Unplug(serial);
    Utility::Timer timer;
    timer.Start();
    EXPECT_FALSE(stdfu.WaitForDfuIdle(&handle, 5000));
    EXPECT_LT(timer.Current(), 1000.0);
}

TEST_F(DfuBindingTest, ZeroLengthDownloadAndStatusLeaveDfuMode)
{
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.SetAddressPointer(&handle, 0x08000000));
    ASSERT_TRUE(stdfu.WaitForDfuIdle(&handle, 5000));
    ASSERT_TRUE(stdfu.LeaveDFUMode(&handle));
    DFUSTATUS status{};
    EXPECT_TRUE(stdfu.GetStatus(&handle, &status));

    EXPECT_EQ(WaitUntilPresent(serial).mode, tarnix::sim::SensorMode::Normal)
        << "the factory firmware boots after leaving DFU mode";
}

TEST_F(DfuBindingTest, FileBindingListsTheElementsOfAHexImage)
{
    const std::vector<tarnix::sim::DataRun> runs = {{0x08000000, Pattern(0x100, 1)}, {0x08004800, Pattern(0x40, 9)}};
    const std::string text = tarnix::sim::IntelHexWriter::Write(runs, std::nullopt);
    std::string hexPath = WriteFile("two.hex", std::vector<std::uint8_t>(text.begin(), text.end()));

    STDFUFiles files;
    void* image = nullptr;
    ASSERT_TRUE(files.ImageFromFile(hexPath, &image, 0));
    unsigned long count = 0;
    ASSERT_TRUE(files.GetImageNbElement(image, &count));
    ASSERT_EQ(count, 2u);

    DFUIMAGEELEMENT element{};
    ASSERT_TRUE(files.GetImageElement(image, 1, &element));
    EXPECT_EQ(element.dwAddress, 0x08004800u);
    ASSERT_EQ(element.dwDataLength, 0x40u);
    std::vector<std::uint8_t> data(element.dwDataLength);
    element.Data = data.data();
    ASSERT_TRUE(files.GetImageElement(image, 1, &element));
    EXPECT_EQ(data, runs[1].bytes);

    EXPECT_TRUE(files.DestroyImage(&image));
}

TEST_F(DfuBindingTest, FileBindingReadsADfuFileAndMappingComesFromTheDevice)
{
    std::string dfuPath = MakeFirmware("firmware.dfu", {"--version", "3.1"});
    STDFUFiles files;
    void* file = nullptr;
    unsigned short vid = 0;
    unsigned short pid = 0;
    unsigned short bcd = 0;
    unsigned char imageCount = 0;
    ASSERT_TRUE(files.OpenExistingDFUFile(dfuPath, &file, &vid, &pid, &bcd, &imageCount));
    EXPECT_EQ(imageCount, 1);
    void* image = nullptr;
    EXPECT_TRUE(files.ReadImageFromDFUFile(file, 0, &image));
    EXPECT_TRUE(files.CloseDFUFile(file));

    STDFUPRT prt;
    std::vector<char> link(path.begin(), path.end());
    link.push_back('\0');
    MAPPING* mapping = nullptr;
    unsigned long alternates = 0;
    ASSERT_TRUE(prt.CreateMappingFromDevice(link.data(), &mapping, &alternates));
    EXPECT_NE(mapping, nullptr);
    EXPECT_TRUE(files.FilterImageForOperation(image, mapping, OperationProgram, 1));
    EXPECT_TRUE(prt.DestroyMapping(&mapping));
    EXPECT_TRUE(files.DestroyImage(&image));

    std::string notThere = PathInFolder("missing.dfu");
    EXPECT_FALSE(files.OpenExistingDFUFile(notThere, &file, &vid, &pid, &bcd, &imageCount));
}

// The status and stop calls pass the operation id first; an id that was never handed out is refused.
TEST_F(DfuBindingTest, OperationCallsRefuseAnUnknownOperation)
{
    STDFUPRT prt;
    DFUThreadContext context{};
    EXPECT_FALSE(prt.GetOperationStatus(&context, 987654));
    EXPECT_FALSE(prt.StopOperation(&context, 987654));
}
