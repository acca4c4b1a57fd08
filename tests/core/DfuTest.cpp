// DFU transfers against virtual sensors: the parameter page, leaving DFU mode, firmware erase and
// programming with progress, the overwrite check, and the error each injected fault produces.

#include "DfuTestSupport.h"
#include "PageBackupFiles.h"
#include "tests/support/SavedPageLine.h"
#include "tests/support/SensorFlash.h"

#include "core/Dfu.h"
#include "core/DfuDevice.h"
#include "core/Timer.h"
#include "core/TpError.h"
#include "platform/SharedLibrary.h"
#include "sim/images/DfuFileWriter.h"
#include "sim/images/IntelHexWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <optional>
#include <thread>
#include <vector>

using tarnix::sim::DataRun;
using tarnix::sim::Fault;

namespace {
using tarnix::test::sensor_flash::kPage;
using tarnix::test::sensor_flash::kParameters;

std::vector<char> Pattern(std::size_t length, unsigned seed)
{
    std::vector<char> bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>(seed + i * 13);
    }
    return bytes;
}

std::vector<std::uint8_t> Bytes(const std::vector<char>& chars) { return {chars.begin(), chars.end()}; }

bool AllErased(const std::vector<std::uint8_t>& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// The error of the expected type that the call throws, when it throws one.
template <typename Error, typename Call>
std::optional<Error> Caught(Call call)
{
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace

class DfuTest : public SimulatedBusTest {
protected:
    void SetUp() override
    {
        SimulatedBusTest::SetUp();
        serial = PlugDfuSensor();
        device = std::make_unique<DfuDevice>(DevicePath(serial));
    }

    std::vector<std::uint8_t> ParameterPage() { return Flash(serial, kParameters, kPage); }

    Dfu& dfu = Dfu::GetInstance();
    std::string serial;
    std::unique_ptr<DfuDevice> device;
};

// ---- Parameter page ----

TEST_F(DfuTest, ParametersWrittenLandOnTheParameterPageAndReadBack)
{
    const std::vector<std::uint8_t> below = Flash(serial, kParameters - kPage, kPage);
    const std::vector<std::uint8_t> above = Flash(serial, kParameters + kPage, kPage);
    std::vector<char> written = Pattern(kPage, 5);

    EXPECT_TRUE(dfu.WriteParameters(device.get(), written.data(), kPage));
    EXPECT_FALSE(device->GetIsConnected());
    EXPECT_EQ(ParameterPage(), Bytes(written));
    EXPECT_EQ(Flash(serial, kParameters - kPage, kPage), below);
    EXPECT_EQ(Flash(serial, kParameters + kPage, kPage), above);

    std::vector<char> read(kPage, 0);
    EXPECT_TRUE(dfu.ReadParameters(device.get(), read.data(), kPage));
    EXPECT_FALSE(device->GetIsConnected());
    EXPECT_EQ(read, written);
}

TEST_F(DfuTest, ShortWriteStartsAtThePageAndLeavesTheRestErased)
{
    std::vector<char> written = Pattern(100, 9);
    ASSERT_TRUE(dfu.WriteParameters(device.get(), written.data(), 100));
    const std::vector<std::uint8_t> page = ParameterPage();
    EXPECT_TRUE(std::equal(written.begin(), written.end(), page.begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    EXPECT_TRUE(AllErased({page.begin() + 100, page.end()}));

    std::vector<char> read(100, 0);
    ASSERT_TRUE(dfu.ReadParameters(device.get(), read.data(), 100));
    EXPECT_EQ(read, written);
}

// An empty or oversized write is refused before the device is opened: the refusal comes even for a
// device that cannot be opened, and the stored parameters stay.
TEST_F(DfuTest, EmptyOrOversizedWriteNeverReachesTheSensor)
{
    const std::vector<std::uint8_t> before = ParameterPage();
    std::vector<char> big(kPage + 1, 0);
    DfuDevice nowhere("no-such-device");

    EXPECT_EQ(MessageOf<TpError::FailedToLoadJsonFile>([&] { dfu.WriteParameters(&nowhere, big.data(), 0); }),
              "Failed to load json file.");
    EXPECT_EQ(MessageOf<TpError::ParametersTooLarge>([&] { dfu.WriteParameters(&nowhere, big.data(), kPage + 1); }),
              "The parameters do not fit the sensor's 2048-byte parameter area.");
    EXPECT_THROW(dfu.WriteParameters(device.get(), big.data(), 0), TpError::FailedToLoadJsonFile);
    EXPECT_THROW(dfu.WriteParameters(device.get(), big.data(), kPage + 1), TpError::ParametersTooLarge);
    EXPECT_THROW(dfu.ReadParameters(device.get(), big.data(), kPage + 1), TpError::ParametersTooLarge);
    EXPECT_EQ(ParameterPage(), before);
}

TEST_F(DfuTest, DeviceThatCannotBeOpenedGivesUnableToConnect)
{
    bus->SetFault(serial, Fault::Open);
    std::vector<char> buffer(kPage, 0);
    const std::string text = "Unable to connect to selected device.";
    EXPECT_EQ(MessageOf<TpError::UnableToConnect>([&] { dfu.ReadParameters(device.get(), buffer.data(), kPage); }),
              text);
    EXPECT_EQ(MessageOf<TpError::UnableToConnect>([&] { dfu.WriteParameters(device.get(), buffer.data(), kPage); }),
              text);
    EXPECT_EQ(MessageOf<TpError::UnableToConnect>([&] { dfu.LeaveDFUMode(device.get()); }), text);

    std::string firmware = MakeFirmware("open.hex", {"--version", "3.0"});
    EXPECT_FALSE(dfu.EraseFirmware(device.get(), firmware));
    EXPECT_EQ(MessageOf<TpError::UnableToConnect>([&] { dfu.WriteFirmware(device.get(), firmware); }), text);
    EXPECT_FALSE(device->GetIsConnected());
}

TEST_F(DfuTest, EachParameterFaultGivesItsOwnError)
{
    std::vector<char> buffer = Pattern(kPage, 1);
    const auto read = [&] { dfu.ReadParameters(device.get(), buffer.data(), kPage); };
    const auto write = [&] { dfu.WriteParameters(device.get(), buffer.data(), kPage); };

    bus->SetFault(serial, Fault::Address);
    EXPECT_EQ(MessageOf<TpError::FailedToSetAddressPointer>(read),
              "Configuration command failed. Could not set address pointer.");
    EXPECT_EQ(MessageOf<TpError::FailedToSetAddressPointer>(write),
              "Configuration command failed. Could not set address pointer.");
    EXPECT_FALSE(device->GetIsConnected()) << "a failed parameter operation closes the device";

    bus->SetFault(serial, Fault::Erase);
    EXPECT_EQ(MessageOf<TpError::EraseFailed>(write), "Failed to erase flash memory.");

    bus->SetFault(serial, Fault::Upload);
    EXPECT_EQ(MessageOf<TpError::UploadFailed>(read), "Upload failed.");

    bus->SetFault(serial, Fault::Download);
    EXPECT_EQ(MessageOf<TpError::DownloadFailed>(write), "Download failed.");
    EXPECT_FALSE(device->GetIsConnected());
}

// A device that takes the data but reports a programming error must not be told apart from success only by
// a later read-back: the write itself fails.
TEST_F(DfuTest, ProgrammingErrorReportedByTheDeviceFailsTheWrite)
{
    bus->SetFault(serial, Fault::Program);
    std::vector<char> buffer = Pattern(kPage, 2);
    EXPECT_EQ(MessageOf<TpError::DownloadFailed>([&] { dfu.WriteParameters(device.get(), buffer.data(), kPage); }),
              "Download failed.");
}

// ---- A failed write puts the page back ----

class DfuRestoreTest : public DfuTest {
protected:
    void SetUp() override
    {
        DfuTest::SetUp();
        ASSERT_TRUE(dfu.WriteParameters(device.get(), old.data(), kPage));
        ASSERT_EQ(ParameterPage(), Bytes(old));
    }

    std::vector<std::uint8_t> OldFirstHalfThenBlank() const
    {
        std::vector<std::uint8_t> page = Bytes(old);
        std::fill(page.begin() + kPage / 2, page.end(), 0xFF);
        return page;
    }

    // The files saved by failed writes so far.
    std::vector<std::string> SavedFiles() const { return page_backup::FilesIn(simulated.PageBackupFolder()); }

    // Runs a write that fails with the error, after which the page may be erased: its added line names the
    // one new file, which holds the old page.
    template <typename Error>
    void ExpectOldPageSaved(const std::function<void()>& write, const std::string& context)
    {
        const std::vector<std::string> before = SavedFiles();
        const std::optional<Error> error = Caught<Error>(write);
        ASSERT_TRUE(error.has_value()) << context;
        const std::vector<std::string> after = SavedFiles();
        ASSERT_EQ(after.size(), before.size() + 1) << context;
        std::vector<std::string> added;
        std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
        ASSERT_EQ(added.size(), 1u) << context;
        EXPECT_EQ(error->AddedLine(), tarnix::test::SavedPageLine(added.front())) << context;
        EXPECT_EQ(page_backup::ImageOf(added.front()), page_backup::PageImage(kParameters, old)) << context;
    }

    std::vector<char> old = Pattern(kPage, 3);
    std::vector<char> fresh = Pattern(kPage, 7);
};

// Each fault strikes once after the erase was sent (a broken-off erase leaves half the page blank): the
// write fails with its own error and the page holds the old contents again, so nothing is saved and nothing
// is added to the error. The next write succeeds.
TEST_F(DfuRestoreTest, OneShotFaultsAfterTheEraseLeaveTheOldPage)
{
    const auto write = [&] { dfu.WriteParameters(device.get(), fresh.data(), kPage); };
    bus->SetFault(serial, Fault::Erase, true);
    const std::optional<TpError::EraseFailed> erase = Caught<TpError::EraseFailed>(write);
    ASSERT_TRUE(erase.has_value());
    EXPECT_STREQ(erase->what(), "Failed to erase flash memory.");
    EXPECT_EQ(erase->AddedLine(), "");
    EXPECT_EQ(ParameterPage(), Bytes(old));
    for (Fault fault : {Fault::Download, Fault::Program, Fault::Stall}) {
        bus->SetFault(serial, fault, true);
        const std::optional<TpError::DownloadFailed> error = Caught<TpError::DownloadFailed>(write);
        ASSERT_TRUE(error.has_value()) << tarnix::sim::FaultName(fault);
        EXPECT_STREQ(error->what(), "Download failed.");
        EXPECT_EQ(error->AddedLine(), "") << tarnix::sim::FaultName(fault);
        EXPECT_EQ(ParameterPage(), Bytes(old)) << tarnix::sim::FaultName(fault);
        EXPECT_FALSE(device->GetIsConnected());
    }
    EXPECT_EQ(SavedFiles(), std::vector<std::string>{});
    EXPECT_TRUE(dfu.WriteParameters(device.get(), fresh.data(), kPage));
    EXPECT_EQ(ParameterPage(), Bytes(fresh));
}

// A short write (the schema form) erases the whole page too; the whole page comes back.
TEST_F(DfuRestoreTest, ShortWriteThatFailsLeavesTheWholeOldPage)
{
    bus->SetFault(serial, Fault::Download, true);
    EXPECT_THROW(dfu.WriteParameters(device.get(), fresh.data(), 100), TpError::DownloadFailed);
    EXPECT_EQ(ParameterPage(), Bytes(old));
}

// With a lasting fault the write-back fails as well and the write's own error stays, with a line that names
// the file holding the old page. A device that keeps answering gets the write-back; one that hangs or is gone
// gets nothing more.
TEST_F(DfuRestoreTest, LastingFaultsKeepTheWritesErrorAndSaveTheOldPage)
{
    const auto write = [&] { dfu.WriteParameters(device.get(), fresh.data(), kPage); };
    bus->SetFault(serial, Fault::Erase);
    ExpectOldPageSaved<TpError::EraseFailed>(write, "erase");
    EXPECT_EQ(ParameterPage(), OldFirstHalfThenBlank());

    for (Fault fault : {Fault::Download, Fault::Program, Fault::Stall}) {
        bus->SetFault(serial, Fault::None);
        ASSERT_TRUE(dfu.WriteParameters(device.get(), old.data(), kPage));
        bus->SetFault(serial, fault);
        ExpectOldPageSaved<TpError::DownloadFailed>(write, std::string(tarnix::sim::FaultName(fault)));
        EXPECT_TRUE(AllErased(ParameterPage())) << tarnix::sim::FaultName(fault);
        EXPECT_FALSE(device->GetIsConnected());
    }
}

// The saved file is what the flash command writes back: the overwrite check sees parameters in it, and the
// firmware erase and write put exactly the old page back (erased runs at its start, inside and at its end
// included), leaving the rest of the flash alone.
TEST_F(DfuRestoreTest, TheSavedPageIsWrittenBackByTheFirmwareOperations)
{
    std::fill(old.begin(), old.begin() + 3, static_cast<char>(0xFF));
    std::fill(old.begin() + 200, old.begin() + 300, static_cast<char>(0xFF));
    std::fill(old.end() - 700, old.end(), static_cast<char>(0xFF));
    ASSERT_TRUE(dfu.WriteParameters(device.get(), old.data(), kPage));
    const std::vector<std::uint8_t> firmware = Flash(serial, 0x08000000, kParameters - 0x08000000);
    bus->SetFault(serial, Fault::Program);
    ASSERT_NO_FATAL_FAILURE(ExpectOldPageSaved<TpError::DownloadFailed>(
        [&] { dfu.WriteParameters(device.get(), fresh.data(), kPage); }, "program"));
    ASSERT_TRUE(AllErased(ParameterPage()));
    bus->SetFault(serial, Fault::None);

    ASSERT_EQ(SavedFiles().size(), 1u);
    std::string saved = SavedFiles().front();
    bool overwrites = false;
    EXPECT_TRUE(dfu.WillOverwritePersistentParameters(saved, overwrites));
    EXPECT_TRUE(overwrites);
    EXPECT_TRUE(dfu.EraseFirmware(device.get(), saved));
    EXPECT_TRUE(dfu.WriteFirmware(device.get(), saved));
    EXPECT_EQ(ParameterPage(), Bytes(old));
    EXPECT_EQ(Flash(serial, 0x08000000, kParameters - 0x08000000), firmware);
}

// The page cannot be kept when it cannot be read: the write ends before the erase with the read's error.
TEST_F(DfuRestoreTest, WriteThatCannotReadThePageFirstLeavesItUntouched)
{
    const auto write = [&] { dfu.WriteParameters(device.get(), fresh.data(), kPage); };
    bus->SetFault(serial, Fault::Upload);
    EXPECT_EQ(MessageOf<TpError::UploadFailed>(write), "Upload failed.");
    EXPECT_EQ(ParameterPage(), Bytes(old));
    bus->SetFault(serial, Fault::Address, true);
    EXPECT_EQ(MessageOf<TpError::FailedToSetAddressPointer>(write),
              "Configuration command failed. Could not set address pointer.");
    EXPECT_EQ(ParameterPage(), Bytes(old));
}

// A sensor that drops off the bus during the transfer cannot be written back: the page stays erased, and
// the old page is saved.
TEST_F(DfuRestoreTest, SensorGoneDuringTheTransferLeavesTheErasedPage)
{
    bus->SetFault(serial, Fault::Unplug, true);
    ExpectOldPageSaved<TpError::DownloadFailed>([&] { dfu.WriteParameters(device.get(), fresh.data(), kPage); },
                                                "unplug");
    EXPECT_TRUE(AllErased(ParameterPage()));
}

// A page that was blank before the write has nothing a flash could write back: nothing is saved, and the
// line names the write that replaces the whole area.
TEST_F(DfuRestoreTest, AFailedWriteOntoABlankPageSavesNothing)
{
    old.assign(kPage, static_cast<char>(0xFF));
    ASSERT_TRUE(dfu.WriteParameters(device.get(), old.data(), kPage));
    bus->SetFault(serial, Fault::Stall);
    const std::optional<TpError::DownloadFailed> error =
        Caught<TpError::DownloadFailed>([&] { dfu.WriteParameters(device.get(), fresh.data(), kPage); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->AddedLine(), tarnix::test::kPageMayBeChanged +
                                      " It was blank before the write, so there is nothing to write back; a write "
                                      "with a schema file replaces the whole area: TarnixProgrammer_CLI -w "
                                      "FILE.json SCHEMA.fbs");
    EXPECT_EQ(SavedFiles(), std::vector<std::string>{});
}

// ---- The requests a write sends ----

// Writes through a stand-in STDFU library that writes down every DfuSe command and transfer.
class DfuRequestTest : public DfuTest {
protected:
    void SetUp() override
    {
        DfuTest::SetUp();
        ASSERT_NE(recorder, nullptr);
        log = reinterpret_cast<const char* (*)()>(recorder->FindExport("StdfuRecorder_Log"));
        clear = reinterpret_cast<void (*)()>(recorder->FindExport("StdfuRecorder_Clear"));
        ASSERT_NE(log, nullptr);
        ASSERT_NE(clear, nullptr);
    }

    std::unique_ptr<tarnix::platform::SharedLibrary> recorder =
        tarnix::platform::SharedLibrary::Load("StdfuRecorder.so");
    Dfu recording{"StdfuRecorder.so"};
    const char* (*log)() = nullptr;
    void (*clear)() = nullptr;
};

// The write's own address step for a 100-byte buffer points at 0x08004000 - 6 x 100 (the page's reads, of
// the whole page, point at 0x08001000). After a failed erase it is not sent, whether the erase fault lasts
// or strikes once: what follows is the write-back of the page kept before the erase, on a device that still
// answers its status: a read of the whole page and, where that differs from the kept page, its erase, address
// step and download, and the read that checks it (a lasting fault ends that at the erase).
TEST_F(DfuRequestTest, NoAddressStepFollowsAFailedErase)
{
    std::vector<char> buffer = Pattern(100, 5);
    const std::string writeAddressStep = "address 08003DA8\n";
    clear();
    ASSERT_TRUE(recording.WriteParameters(device.get(), buffer.data(), 100));
    EXPECT_NE(std::string(log()).find("erase 08004000\n" + writeAddressStep + "download 100\n"), std::string::npos)
        << log();

    // A page written to its end: the broken-off erase blanks its second half, so the read finds it changed.
    std::vector<char> full = Pattern(kPage, 9);
    ASSERT_TRUE(recording.WriteParameters(device.get(), full.data(), kPage));
    const std::string keptRead = "address 08001000\nupload 2048\n";
    const std::string failedErase = keptRead + "erase 08004000\n";
    bus->SetFault(serial, Fault::Erase, true);
    clear();
    EXPECT_THROW(recording.WriteParameters(device.get(), buffer.data(), 100), TpError::EraseFailed);
    EXPECT_EQ(log(), failedErase + keptRead + "erase 08004000\naddress 08001000\ndownload 2048\n" + keptRead);

    bus->SetFault(serial, Fault::Erase);
    clear();
    EXPECT_THROW(recording.WriteParameters(device.get(), buffer.data(), 100), TpError::EraseFailed);
    EXPECT_EQ(log(), failedErase + keptRead + "erase 08004000\n");
}

TEST_F(DfuTest, LeavingDfuModeStartsTheFirmwareAndKeepsTheDeviceMarkedConnected)
{
    EXPECT_TRUE(dfu.LeaveDFUMode(device.get()));
    EXPECT_TRUE(device->GetIsConnected());
    EXPECT_EQ(WaitUntilPresent(serial).mode, tarnix::sim::SensorMode::Normal);
}

TEST_F(DfuTest, LeaveFaultsGiveTheirErrors)
{
    bus->SetFault(serial, Fault::Leave);
    EXPECT_EQ(MessageOf<TpError::FailedToLeaveDfuMode>([&] { dfu.LeaveDFUMode(device.get()); }),
              "Failed to leave configuration mode and enter application mode.");
    EXPECT_TRUE(device->GetIsConnected()) << "a failed leave leaves the device open";

    bus->SetFault(serial, Fault::Address);
    EXPECT_THROW(dfu.LeaveDFUMode(device.get()), TpError::FailedToSetAddressPointer);
}

// ---- Firmware ----

class DfuFirmwareTest : public DfuTest {
protected:
    // Samples the progress byte while the call runs, in order (a value once per change).
    template <typename Call>
    std::vector<int> ProgressDuring(Call call)
    {
        std::atomic<bool> running{true};
        std::vector<int> seen;
        std::thread sampler([&] {
            while (running) {
                const int percentage = dfu.GetFirmwareWritePercentage();
                if (seen.empty() || seen.back() != percentage) {
                    seen.push_back(percentage);
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        call();
        running = false;
        sampler.join();
        return seen;
    }

    void EraseAndProgram(std::string& firmware)
    {
        bool erased = false;
        const std::vector<int> eraseProgress =
            ProgressDuring([&] { erased = dfu.EraseFirmware(device.get(), firmware); });
        ASSERT_TRUE(erased);
        EXPECT_LE(*std::max_element(eraseProgress.begin(), eraseProgress.end()), 33);
        EXPECT_EQ(dfu.GetFirmwareWritePercentage(), 33) << "the erase leaves its last value";
        EXPECT_FALSE(device->GetIsConnected());

        bool written = false;
        const std::vector<int> writeProgress =
            ProgressDuring([&] { written = dfu.WriteFirmware(device.get(), firmware); });
        ASSERT_TRUE(written);
        // The write ends by resetting the progress, which the sampler may see before the call has returned.
        const auto reset = std::find(writeProgress.begin(), writeProgress.end(), 0);
        EXPECT_TRUE(std::all_of(writeProgress.begin(), reset, [](int p) { return p >= 33 && p <= 99; }))
            << "programming shows 33 to 99";
        EXPECT_TRUE(std::all_of(reset, writeProgress.end(), [](int p) { return p == 0; })) << "and then 0";
        EXPECT_GT(*std::max_element(writeProgress.begin(), writeProgress.end()), 33) << "programming progress moved";
        EXPECT_EQ(dfu.GetFirmwareWritePercentage(), 0) << "the write resets the progress";
        EXPECT_FALSE(device->GetIsConnected());
    }
};

TEST_F(DfuFirmwareTest, HexFirmwareIsProgrammedAndKeepsTheStoredParameters)
{
    const std::vector<std::uint8_t> parameters = ParameterPage();
    std::string firmware = MakeFirmware("firmware.hex", {"--version", "3.7", "--size", "0x8000"});
    tarnix::sim::FirmwareImage expected({3, 7}, tarnix::sim::Version{1, 1}, 0x8000, std::nullopt);

    EraseAndProgram(firmware);

    const std::vector<std::uint8_t> flash = Flash(serial, 0x08000000, 0x8000);
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 0x4000, expected.Bytes().begin()));
    EXPECT_TRUE(std::equal(flash.begin() + 0x4800, flash.end(), expected.Bytes().begin() + 0x4800));
    EXPECT_EQ(ParameterPage(), parameters) << "an image with an erased parameter page keeps the parameters";
}

TEST_F(DfuFirmwareTest, DfuFirmwareIsProgrammedAndBoots)
{
    std::string firmware = MakeFirmware("firmware.dfu", {"--version", "4.2"});
    tarnix::sim::FirmwareImage expected({4, 2}, tarnix::sim::Version{1, 1}, tarnix::sim::FirmwareImage::kDefaultSize,
                                        std::nullopt);
    EraseAndProgram(firmware);

    const std::vector<std::uint8_t> header = Flash(serial, 0x08000000, 0x400);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), expected.Bytes().begin()));
    EXPECT_TRUE(dfu.LeaveDFUMode(device.get()));
    EXPECT_EQ(WaitUntilPresent(serial).mode, tarnix::sim::SensorMode::Normal);
}

TEST_F(DfuFirmwareTest, SuffixIsRecognisedOnlyInLowerCase)
{
    std::string firmware = MakeFirmware("firmware.hex", {"--version", "3.0"});
    std::string upper = PathInFolder("FIRMWARE.HEX");
    std::filesystem::copy_file(firmware, upper);
    EXPECT_FALSE(dfu.EraseFirmware(device.get(), upper));
    EXPECT_FALSE(device->GetIsConnected()) << "the device is closed after a failed operation";
    std::string other = PathInFolder("firmware.bin");
    std::filesystem::copy_file(firmware, other);
    EXPECT_FALSE(dfu.WriteFirmware(device.get(), other));
    EXPECT_EQ(dfu.GetFirmwareWritePercentage(), 0);
}

TEST_F(DfuFirmwareTest, FaultsDuringProgrammingMakeTheWriteFail)
{
    for (const Fault fault : {Fault::Stall, Fault::Unplug}) {
        std::string firmware = MakeFirmware("firmware.hex", {"--version", "3.0"});
        bus->SetFault(serial, Fault::None);
        ASSERT_TRUE(dfu.EraseFirmware(device.get(), firmware));
        bus->SetFault(serial, fault);
        Utility::Timer timer;
        timer.Start();
        EXPECT_FALSE(dfu.WriteFirmware(device.get(), firmware)) << tarnix::sim::FaultName(fault);
        EXPECT_LT(timer.Current(), 20000.0);
        EXPECT_EQ(dfu.GetFirmwareWritePercentage(), 0);
        EXPECT_FALSE(device->GetIsConnected());
        bus->SetFault(serial, Fault::None);
        WaitUntilPresent(serial);
    }
}

TEST_F(DfuFirmwareTest, EraseFaultMakesTheEraseFail)
{
    bus->SetFault(serial, Fault::Erase);
    std::string firmware = MakeFirmware("firmware.dfu", {"--version", "3.0"});
    EXPECT_FALSE(dfu.EraseFirmware(device.get(), firmware));
    EXPECT_FALSE(device->GetIsConnected());
}

// ---- Overwrite check ----

class DfuOverwriteTest : public DfuTest {
protected:
    std::string Hex(const std::string& name, const std::vector<DataRun>& runs)
    {
        const std::string text = tarnix::sim::IntelHexWriter::Write(runs, std::nullopt);
        return WriteFile(name, std::vector<std::uint8_t>(text.begin(), text.end()));
    }

    std::string DfuFile(const std::string& name, const std::vector<DataRun>& runs)
    {
        return WriteFile(name, tarnix::sim::DfuFileWriter::Write(runs, {0x0483, 0xDF11, 0x2200, "Internal Flash"}));
    }

    // The answer for a file, expecting the image to be examinable.
    bool Overwrites(std::string path)
    {
        bool answer = true;  // the check must set it either way
        EXPECT_TRUE(dfu.WillOverwritePersistentParameters(path, answer)) << path;
        return answer;
    }

    static DataRun Filled(std::uint32_t address, std::size_t length, std::uint8_t value)
    {
        return DataRun{address, std::vector<std::uint8_t>(length, value)};
    }
};

TEST_F(DfuOverwriteTest, OneElementImageOverwritesOnlyWithNonErasedParameterBytes)
{
    DataRun image = Filled(0x08000000, 0x4800, 0x5A);
    std::fill(image.bytes.begin() + 0x4000, image.bytes.end(), 0xFF);
    EXPECT_FALSE(Overwrites(Hex("erased.hex", {image})));
    EXPECT_FALSE(Overwrites(DfuFile("erased.dfu", {image})));

    image.bytes[0x4000] = 0x00;
    EXPECT_TRUE(Overwrites(Hex("first.hex", {image})));
    EXPECT_TRUE(Overwrites(DfuFile("first.dfu", {image})));

    image.bytes[0x4000] = 0xFF;
    image.bytes[0x47FF] = 0x7E;
    EXPECT_TRUE(Overwrites(Hex("last.hex", {image})));

    EXPECT_FALSE(Overwrites(Hex("short.hex", {Filled(0x08000000, 0x4000, 0x11)})))
        << "an image that ends before the page does not reach it";
}

// A short image that covers part of the page is judged by the bytes it puts there.
TEST_F(DfuOverwriteTest, PartialCoverageIsExamined)
{
    DataRun image = Filled(0x08000000, 0x4400, 0xFF);
    std::fill(image.bytes.begin(), image.bytes.begin() + 0x4000, 0x22);
    EXPECT_FALSE(Overwrites(Hex("partial-erased.hex", {image})));
    image.bytes[0x43FF] = 0x01;
    EXPECT_TRUE(Overwrites(Hex("partial.hex", {image})));
}

TEST_F(DfuOverwriteTest, MultiElementImagesAreJudgedByWhatTheyPutOnThePage)
{
    const DataRun code = Filled(0x08000000, 0x4000, 0x33);
    const DataRun tail = Filled(0x08004800, 0x800, 0x44);
    EXPECT_FALSE(Overwrites(Hex("gap.hex", {code, tail})));
    EXPECT_FALSE(Overwrites(DfuFile("gap.dfu", {code, tail})));

    const DataRun parameters = Filled(0x08004000, kPage, 0x10);
    EXPECT_TRUE(Overwrites(Hex("params.hex", {code, parameters, Filled(0x08008000, 0x100, 0x44)})));
    EXPECT_TRUE(Overwrites(DfuFile("params.dfu", {code, Filled(0x08004000, 0x10, 0x00), tail})));
    EXPECT_FALSE(Overwrites(DfuFile("erased-params.dfu", {code, Filled(0x08004000, kPage, 0xFF), tail})));

    // Elements that start inside the page, or a first element that covers it, also overwrite it.
    EXPECT_TRUE(Overwrites(Hex("offset.hex", {code, Filled(0x08004010, 0x10, 0x00)})));
    EXPECT_TRUE(Overwrites(Hex("covering.hex", {Filled(0x08000000, 0x4800, 0x66), Filled(0x08010000, 0x10, 0x1)})));
}

TEST_F(DfuOverwriteTest, MakeFirmwareImagesWithAndWithoutParameters)
{
    EXPECT_FALSE(Overwrites(MakeFirmware("erased.hex", {"--version", "3.0"})));
    EXPECT_FALSE(Overwrites(MakeFirmware("erased.dfu", {"--version", "3.0"})));

    const std::string parameters = WriteFile("parameters.bin", std::vector<std::uint8_t>(300, 0x21));
    EXPECT_TRUE(Overwrites(MakeFirmware("with.hex", {"--version", "3.0", "--params", parameters})));
    EXPECT_TRUE(Overwrites(MakeFirmware("with.dfu", {"--version", "3.0", "--params", parameters})));
}

TEST_F(DfuOverwriteTest, FilesThatGiveNoImageAreNotExamined)
{
    bool answer = true;
    std::string missing = PathInFolder("missing.hex");
    EXPECT_FALSE(dfu.WillOverwritePersistentParameters(missing, answer));
    EXPECT_FALSE(answer);

    std::string garbage = WriteFile("garbage.dfu", std::vector<std::uint8_t>(64, 0x42));
    answer = true;
    EXPECT_FALSE(dfu.WillOverwritePersistentParameters(garbage, answer));
    EXPECT_FALSE(answer);

    std::string other = Hex("image.txt", {Filled(0x08004000, 16, 0)});
    answer = true;
    EXPECT_FALSE(dfu.WillOverwritePersistentParameters(other, answer));
    EXPECT_FALSE(answer);
}

// An element the library cannot hand out might hold parameters: the check errs on the side of asking.
TEST_F(DfuOverwriteTest, UnreadableElementCountsAsOverwriting)
{
    int notAnImage = 0;
    bool answer = false;
    EXPECT_TRUE(dfu.CheckDfuImageElementsForParameters(&notAnImage, 2, answer));
    EXPECT_TRUE(answer);
    EXPECT_FALSE(dfu.CheckDfuImageElementsForParameters(&notAnImage, 0, answer));
    EXPECT_FALSE(answer);
}

// ---- Without the libraries ----

TEST_F(DfuTest, WithoutTheLibrariesEveryOperationFailsCleanly)
{
    Dfu bare("NoStdfu.dll", "NoStdfuFiles.dll", "NoStdfuPrt.dll");
    std::vector<char> buffer(kPage, 0);
    EXPECT_EQ(MessageOf<TpError::UnableToConnect>([&] { bare.ReadParameters(device.get(), buffer.data(), kPage); }),
              "Unable to connect to selected device.");
    std::string firmware = MakeFirmware("firmware.hex", {"--version", "3.0"});
    EXPECT_FALSE(bare.EraseFirmware(device.get(), firmware));
    bool answer = true;
    EXPECT_FALSE(bare.WillOverwritePersistentParameters(firmware, answer));
    EXPECT_FALSE(answer);
}
