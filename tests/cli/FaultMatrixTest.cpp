#include "core/tnxp_serialization_generated.h"
#include "tests/cli/SimulatedBusTest.h"
#include "tests/support/SavedPageLine.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <thread>

// The parameter read, the parameter write and the firmware flash of the real TarnixProgrammer_CLI against
// virtual sensors with every device fault the simulator can inject, and with sensors pulled off the bus while
// the tool waits for them or programs them. Each cell checks the failure the user sees (error text, exit
// code), that the tool ends within its waits, what the sensor's flash holds afterwards, and that the sensor
// can be brought back and the same command then succeeds. A write that may leave the parameter page erased
// saves the page from before the write and names the file and the command that writes it back; that command
// restores the page byte for byte.
namespace {

enum class Command { Read, Write, Flash };

// What a write leaves on the parameter page, byte for byte: the page as it was, the new parameters, the new
// parameters that the tool could not read back (the sensor stopped answering after the write), or an erased
// page (only where the sensor was gone or hanging when the write failed).
enum class Page { Old, New, NewUnread, Erased };

struct FaultCell {
    Command command;
    std::string fault;
    // The error line on standard error, without "Error: "; empty when the command succeeds anyway.
    std::string error;
    Page page = Page::Old;  // writes only
    bool once = false;      // the fault strikes the next matching request only
};

std::string CommandName(Command command)
{
    switch (command) {
        case Command::Read:
            return "Read";
        case Command::Write:
            return "Write";
        case Command::Flash:
            return "Flash";
    }
    return "";
}

std::string CellName(const ::testing::TestParamInfo<FaultCell>& info)
{
    return CommandName(info.param.command) + "_" + info.param.fault + (info.param.once ? "_once" : "");
}

const std::string unableToConnect = "Unable to connect to selected device.";
const std::string addressPointerFailed = "Configuration command failed. Could not set address pointer.";
const std::string uploadFailed = "Upload failed.";
const std::string downloadFailed = "Download failed.";
const std::string eraseFailed = "Failed to erase flash memory.";
const std::string leaveFailed = "Failed to leave configuration mode and enter application mode.";
const std::string verificationFailed = "The flashed parameters differs from the parameters on the device.";
const std::string noConfigurationHandle = "Failed getting the configuration handle.";
const std::string flashingFailed = "flashing failed";  // the flash command reports on standard output

// A parameter command waits at most 4000 ms for the DFU device, 2 x 2000 ms for information answers and
// 8000 ms for a sensor leaving DFU mode; the flash command polls 20000 ms and its library gives up after a
// 5000 ms stall. With the small delays of these sensors every run ends far sooner; the limits catch hangs.
constexpr double parameterCommandLimitMs = 16000;
constexpr double flashCommandLimitMs = 27000;

constexpr int newFingerFrequency = 123;
constexpr int factoryFingerFrequency = 200;

class FaultMatrixBase : public SimulatedBusTest {
protected:
    void SetUp() override
    {
        SimulatedBusTest::SetUp();
        bus.Files().Write("p.json", "{ \"fingerFrequency\": " + std::to_string(newFingerFrequency) + " }\n");
        RunSim({"make-firmware", "--version", "2.5", "--size", "2048", "-o", bus.File("fw.hex")});
    }

    std::vector<std::string> ArgumentsOf(Command command) const
    {
        switch (command) {
            case Command::Read:
                return {"-r", bus.File("out.json")};
            case Command::Write:
                return {"-w", bus.File("p.json")};
            case Command::Flash:
                return {"-f", bus.File("fw.hex")};
        }
        return {};
    }

    static double LimitOf(Command command)
    {
        return command == Command::Flash ? flashCommandLimitMs : parameterCommandLimitMs;
    }

    // Runs the tool in a folder of its own, so that tarnix-sim can run beside it.
    std::future<ProgramRun> StartCli(const std::vector<std::string>& arguments)
    {
        const std::string cliFolder = bus.File("cli-run");
        std::filesystem::create_directories(cliFolder);
        const std::string program = (tarnix::test::TestBinaryFolder() / "TarnixProgrammer_CLI").string();
        return std::async(std::launch::async,
                          [program, arguments, cliFolder] { return RunProgram(program, arguments, cliFolder); });
    }

    // The stored parameter buffer, checked with the generated flatbuffers verifier; nothing when the area
    // holds no valid buffer.
    std::optional<int> StoredFingerFrequency(const std::string& serial)
    {
        const std::vector<unsigned char> area = ReadParameterArea(serial);
        flatbuffers::Verifier verifier(area.data(), area.size());
        if (!tnxp_serialization::ParametersBufferHasIdentifier(area.data()) ||
            !tnxp_serialization::VerifyParametersBuffer(verifier)) {
            return std::nullopt;
        }
        return tnxp_serialization::GetParameters(area.data())->fingerFrequency();
    }

    static bool Erased(const std::vector<unsigned char>& area)
    {
        return std::all_of(area.begin(), area.end(), [](unsigned char byte) { return byte == 0xFF; });
    }

    void ExpectFirmwareListed(const std::string& serial, const std::string& version)
    {
        ASSERT_TRUE(WaitForMode(serial, "normal"));
        const ProgramRun list = RunCli({"-l"});
        EXPECT_NE(list.out.find("Firmware Version: " + version + "   MCU"), std::string::npos) << list.out;
    }

    // A parameter page left erased by a failed write holds no parameters the write command could combine
    // with: it refuses, and a write through a schema file (which replaces the whole area) repairs the page.
    void ExpectErasedPageNeedsSchemaWrite(const std::string& serial)
    {
        const ProgramRun refused = RunCli(ArgumentsOf(Command::Write));
        EXPECT_EQ(refused.exitCode, 255);
        EXPECT_EQ(refused.err, "Error: Could not find parameter identifier. The parameters data is corrupt.\n")
            << refused.out;
        ASSERT_TRUE(WaitForMode(serial, "dfu", 3000));
        EXPECT_TRUE(Erased(ReadParameterArea(serial)));

        const std::string schema = std::string(TARNIX_SOURCE_DIR) + "/core/schemas/tnxp_serialization_1_1.fbs";
        const ProgramRun repaired = RunCli({"-w", bus.File("p.json"), schema});
        EXPECT_EQ(repaired.exitCode, 0) << repaired.out << repaired.err;
        EXPECT_EQ(StoredFingerFrequency(serial), newFingerFrequency);
        EXPECT_TRUE(WaitForMode(serial, "normal", 3000));  // the tool does not wait for it to come back
    }

    // The files that failed writes saved in the test's data folder, sorted.
    std::vector<std::string> SavedPages() const
    {
        std::vector<std::string> paths;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(bus.PageBackupFolder(), error)) {
            paths.push_back(entry.path().string());
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    static std::string SavedPageLine(const std::string& path) { return tarnix::test::SavedPageLine(path) + "\n"; }

    // The one file a failed write saved: only its owner may read it, and the line after the error names it.
    std::string ExpectPageSaved(const ProgramRun& run, const std::string& error)
    {
        const std::vector<std::string> saved = SavedPages();
        EXPECT_EQ(saved.size(), 1u) << run.err;
        if (saved.size() != 1) {
            return "";
        }
        EXPECT_EQ(run.err, "Error: " + error + "\n" + SavedPageLine(saved[0]));
        EXPECT_EQ(run.out, "\n");
        struct stat status {};
        EXPECT_EQ(::stat(saved[0].c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);
        return saved[0];
    }

    // Runs the command that the run's added line gives, through the shell as a user would paste it (the
    // tool found on the PATH), and expects the page to be `page` again afterwards, and the sensor back in
    // normal mode.
    void ExpectNamedCommandRestores(const ProgramRun& failed, const std::string& serial,
                                    const std::vector<unsigned char>& page)
    {
        const std::string marker = "write them back with: ";
        const std::size_t start = failed.err.find(marker);
        ASSERT_NE(start, std::string::npos) << failed.err;
        const std::string command = failed.err.substr(start + marker.size());
        const ProgramRun restore = RunInShell(command.substr(0, command.find('\n')));
        EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
        EXPECT_NE(restore.out.find("Flashing complete.\n"), std::string::npos) << restore.out;
        EXPECT_EQ(ReadParameterArea(serial), page) << "the page from before the write, byte for byte";
        EXPECT_TRUE(WaitForMode(serial, "normal", 3000)) << "the flash ends by starting the firmware";
    }

    // Runs a command line in /bin/sh in the test's folder, with the tool's folder first on the PATH (inside
    // usb-run on the real-bus backend).
    ProgramRun RunInShell(const std::string& command)
    {
        const std::string binaries = tarnix::test::TestBinaryFolder().string();
        const char* path = std::getenv("PATH");
        const tarnix::test::ScopedEnvironmentVariable toolFirst(
            "PATH", binaries + ":" + (path != nullptr ? path : "/usr/bin:/bin"));
        if (OnRealUsbBackend()) {
            return RunProgram(binaries + "/tarnix-sim", {"usb-run", "--", "/bin/sh", "-c", command},
                              bus.Files().Path().string());
        }
        return RunProgram("/bin/sh", {"-c", command}, bus.Files().Path().string());
    }

    // The command against an undisturbed sensor: it succeeds and has its effect.
    void ExpectCommandSucceeds(Command command, const std::string& serial)
    {
        if (command == Command::Write && Erased(ReadParameterArea(serial))) {
            ExpectErasedPageNeedsSchemaWrite(serial);
        }
        std::filesystem::remove(bus.File("out.json"));
        const ProgramRun run = RunCli(ArgumentsOf(command));
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("Operation succeeded\n"), std::string::npos) << run.out;
        switch (command) {
            case Command::Read:
                EXPECT_NE(bus.Files().Read("out.json").find("\"fingerFrequency\": "), std::string::npos);
                break;
            case Command::Write:
                EXPECT_EQ(StoredFingerFrequency(serial), newFingerFrequency);
                break;
            case Command::Flash:
                ExpectFirmwareListed(serial, "2.5");
                break;
        }
    }
};

// ---- One fault per cell ----

class FaultMatrixTest : public FaultMatrixBase, public ::testing::WithParamInterface<FaultCell> {
protected:
    void SetUp() override
    {
        FaultMatrixBase::SetUp();
        serial = Plug({"--reenumerate-ms", "100", "--page-ms", "1"});
        factoryArea = ReadParameterArea(serial);
    }

    void ExpectOutcome(const FaultCell& cell, const ProgramRun& run)
    {
        if (cell.error.empty()) {
            EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
            EXPECT_EQ(run.err, "");
            EXPECT_NE(run.out.find("Operation succeeded\n"), std::string::npos) << run.out;
        } else if (cell.error == flashingFailed) {
            EXPECT_EQ(run.exitCode, 255);
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.out.rfind("Start flashing...\n", 0), 0u) << run.out;
            const std::string ending = "\nError: Flashing failed.\n\n";
            ASSERT_GE(run.out.size(), ending.size());
            EXPECT_EQ(run.out.substr(run.out.size() - ending.size()), ending) << run.out;
        } else if (PageSaved(cell)) {
            EXPECT_EQ(run.exitCode, 255);
            ExpectPageSaved(run, cell.error);
        } else {
            EXPECT_EQ(run.exitCode, 255);
            EXPECT_EQ(run.err, "Error: " + cell.error + "\n");
            EXPECT_EQ(run.out, "\n");
        }
        if (!PageSaved(cell)) {
            EXPECT_EQ(SavedPages(), std::vector<std::string>{}) << "nothing saved where the page is as it was";
        }
        EXPECT_LT(run.milliseconds, LimitOf(cell.command));
    }

    // A write that leaves the page erased, or that could not read it back, saves the page from before it.
    static bool PageSaved(const FaultCell& cell)
    {
        return cell.command == Command::Write && (cell.page == Page::Erased || cell.page == Page::NewUnread);
    }

    // What the sensor's flash may hold after the run.
    void ExpectFlashContents(const FaultCell& cell)
    {
        const std::vector<unsigned char> area = ReadParameterArea(serial);
        switch (cell.command) {
            case Command::Read:
            case Command::Flash:
                // Neither command writes the parameter page, and this image leaves it alone.
                EXPECT_EQ(area, factoryArea);
                break;
            case Command::Write:
                switch (cell.page) {
                    case Page::Old:
                        EXPECT_EQ(area, factoryArea) << "the old parameter page, byte for byte";
                        break;
                    case Page::New:
                    case Page::NewUnread:
                        EXPECT_EQ(StoredFingerFrequency(serial), newFingerFrequency);
                        break;
                    case Page::Erased:
                        EXPECT_TRUE(Erased(area)) << "an erased page, nothing partly written";
                        break;
                }
                break;
        }
    }

    void ExpectReadResult(const FaultCell& cell)
    {
        if (cell.command != Command::Read) {
            return;
        }
        const bool transferDone = cell.error.empty() || cell.error == leaveFailed;
        ASSERT_EQ(std::filesystem::exists(bus.File("out.json")), transferDone);
        if (transferDone) {
            EXPECT_NE(
                bus.Files().Read("out.json").find("\"fingerFrequency\": " + std::to_string(factoryFingerFrequency)),
                std::string::npos);
        }
    }

    // Clears the fault and waits for the sensor to be back on the bus, in whichever mode the run left it.
    void BringBack()
    {
        RunSim({"fault", serial, "none"});
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
        while (DeviceNameOf(serial) == "-" && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_NE(DeviceNameOf(serial), "-") << "sensor not back: " << SimLine(serial);
    }

    std::string serial;
    std::vector<unsigned char> factoryArea;

    // A one-shot fault needs no clearing: the sensor is back by itself (an unplugged one after its
    // re-enumeration delay).
    void WaitUntilBack()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
        while (DeviceNameOf(serial) == "-" && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_NE(DeviceNameOf(serial), "-") << "sensor not back: " << SimLine(serial);
    }
};

TEST_P(FaultMatrixTest, FailsCleanlyAndTheSensorComesBack)
{
    const FaultCell& cell = GetParam();
    std::vector<std::string> fault{"fault", serial, cell.fault};
    if (cell.once) {
        fault.push_back("--once");
    }
    RunSim(fault);

    const ProgramRun run = RunCli(ArgumentsOf(cell.command));
    ExpectOutcome(cell, run);
    ExpectReadResult(cell);
    if (cell.fault != "unplug" && cell.fault != "stall" && cell.fault != "hang") {
        // A sensor that still answers can be read back with the fault in place.
        ExpectFlashContents(cell);
    }

    if (cell.once) {
        WaitUntilBack();
    } else {
        BringBack();
    }
    ExpectFlashContents(cell);
    if (PageSaved(cell)) {
        ExpectNamedCommandRestores(run, serial, factoryArea);
    }
    const std::vector<unsigned char> afterFault = ReadParameterArea(serial);
    ExpectCommandSucceeds(cell.command, serial);
    if (cell.command == Command::Write && cell.page == Page::New) {
        // The same write again, undisturbed, gives the same bytes.
        EXPECT_EQ(ReadParameterArea(serial), afterFault);
    }
}

// Faults of the DFU steps a parameter read does not use leave it unharmed. Leaving DFU mode after the
// transfer throws, which passes through to the user although the file is written.
INSTANTIATE_TEST_SUITE_P(
    Read, FaultMatrixTest,
    ::testing::Values(FaultCell{Command::Read, "open", unableToConnect}, FaultCell{Command::Read, "erase", ""},
                      FaultCell{Command::Read, "address", addressPointerFailed},
                      FaultCell{Command::Read, "upload", uploadFailed}, FaultCell{Command::Read, "download", ""},
                      FaultCell{Command::Read, "leave", leaveFailed}, FaultCell{Command::Read, "program", ""},
                      FaultCell{Command::Read, "stall", ""}, FaultCell{Command::Read, "unplug", ""},
                      FaultCell{Command::Read, "hang", ""}),
    CellName);

// The write first reads the stored parameters (open, address and upload faults end it there), then keeps the
// page, erases, sets the address and downloads. A failure once the erase was sent writes the kept page back
// while the sensor answers: with a lasting fault that fails too (the broken-off erase left the factory page's
// blank half as it was), and the page stays erased; the kept page is then saved, and the command the tool
// names writes it back once the fault is gone. A sensor that stops answering after it took the new parameters
// fails the read-back: the page is most likely new, but unread, so the kept page is saved as well.
INSTANTIATE_TEST_SUITE_P(Write, FaultMatrixTest,
                         ::testing::Values(FaultCell{Command::Write, "open", unableToConnect, Page::Old},
                                           FaultCell{Command::Write, "erase", eraseFailed, Page::Old},
                                           FaultCell{Command::Write, "address", addressPointerFailed, Page::Old},
                                           FaultCell{Command::Write, "upload", uploadFailed, Page::Old},
                                           FaultCell{Command::Write, "download", downloadFailed, Page::Erased},
                                           FaultCell{Command::Write, "leave", leaveFailed, Page::New},
                                           FaultCell{Command::Write, "program", downloadFailed, Page::Erased},
                                           FaultCell{Command::Write, "stall", downloadFailed, Page::Erased},
                                           FaultCell{Command::Write, "unplug", downloadFailed, Page::Erased},
                                           FaultCell{Command::Write, "hang", addressPointerFailed, Page::NewUnread}),
                         CellName);

// One-shot faults: the kept page is written back wherever the sensor still answers, so nothing is saved;
// only a sensor that dropped off the bus leaves the page erased, and the page is saved. A read-back that
// fails is not followed by a write-back: the page is saved.
INSTANTIATE_TEST_SUITE_P(WriteOnce, FaultMatrixTest,
                         ::testing::Values(FaultCell{Command::Write, "open", unableToConnect, Page::Old, true},
                                           FaultCell{Command::Write, "erase", eraseFailed, Page::Old, true},
                                           FaultCell{Command::Write, "address", addressPointerFailed, Page::Old, true},
                                           FaultCell{Command::Write, "upload", uploadFailed, Page::Old, true},
                                           FaultCell{Command::Write, "download", downloadFailed, Page::Old, true},
                                           FaultCell{Command::Write, "leave", leaveFailed, Page::New, true},
                                           FaultCell{Command::Write, "program", downloadFailed, Page::Old, true},
                                           FaultCell{Command::Write, "stall", downloadFailed, Page::Old, true},
                                           FaultCell{Command::Write, "unplug", downloadFailed, Page::Erased, true},
                                           FaultCell{Command::Write, "corrupt", verificationFailed, Page::Old, true},
                                           FaultCell{Command::Write, "hang", addressPointerFailed, Page::NewUnread,
                                                     true}),
                         CellName);

// Every failure of the firmware write, leaving DFU mode included, is "Error: Flashing failed.".
INSTANTIATE_TEST_SUITE_P(Flash, FaultMatrixTest,
                         ::testing::Values(FaultCell{Command::Flash, "open", flashingFailed},
                                           FaultCell{Command::Flash, "erase", flashingFailed},
                                           FaultCell{Command::Flash, "address", flashingFailed},
                                           FaultCell{Command::Flash, "upload", ""},
                                           FaultCell{Command::Flash, "download", flashingFailed},
                                           FaultCell{Command::Flash, "leave", flashingFailed},
                                           FaultCell{Command::Flash, "program", flashingFailed},
                                           FaultCell{Command::Flash, "stall", flashingFailed},
                                           FaultCell{Command::Flash, "unplug", flashingFailed},
                                           FaultCell{Command::Flash, "hang", flashingFailed}),
                         CellName);

// ---- The schema form of the write ----

// The schema form replaces the whole area with a shorter buffer; a failure after the erase puts the whole
// old page back while the sensor answers, and leaves it erased when the fault lasts, the old page saved.
class SchemaWriteFaultTest : public FaultMatrixBase {
protected:
    ProgramRun WriteWithSchema()
    {
        const std::string schema = std::string(TARNIX_SOURCE_DIR) + "/core/schemas/tnxp_serialization_1_1.fbs";
        return RunCli({"-w", bus.File("p.json"), schema});
    }
};

TEST_F(SchemaWriteFaultTest, FailedTransferLeavesTheOldPageOrAnErasedOneThatIsSaved)
{
    const std::string serial = Plug({"--reenumerate-ms", "100", "--page-ms", "1"});
    const std::vector<unsigned char> before = ReadParameterArea(serial);
    RunSim({"fault", serial, "download", "--once"});
    const ProgramRun once = WriteWithSchema();
    EXPECT_EQ(once.exitCode, 255);
    EXPECT_EQ(once.err, "Error: " + downloadFailed + "\n");
    EXPECT_LT(once.milliseconds, parameterCommandLimitMs);
    EXPECT_EQ(ReadParameterArea(serial), before);
    EXPECT_EQ(SavedPages(), std::vector<std::string>{});

    RunSim({"fault", serial, "stall"});
    const ProgramRun lasting = WriteWithSchema();
    EXPECT_EQ(lasting.exitCode, 255);
    ExpectPageSaved(lasting, downloadFailed);
    EXPECT_LT(lasting.milliseconds, parameterCommandLimitMs);
    EXPECT_TRUE(Erased(ReadParameterArea(serial)));

    RunSim({"fault", serial, "none"});
    ASSERT_TRUE(WaitForMode(serial, "dfu", 3000));
    ExpectNamedCommandRestores(lasting, serial, before);
    ExpectCommandSucceeds(Command::Write, serial);
}

// ---- A saved page in a long data folder ----

// A home folder so deep that the saved page's path is longer than the flash command takes: the line names
// the command that enters the page's folder first, and that command, pasted into a shell, writes the page
// back.
class SavedPageFolderTest : public FaultMatrixBase {};

TEST_F(SavedPageFolderTest, APageSavedUnderAVeryLongHomeIsWrittenBackByTheNamedCommand)
{
    std::string home = bus.File("home");
    while (home.size() < 300) {
        home += "/a-long-folder-name";
    }
    std::filesystem::create_directories(home);
    const tarnix::test::ScopedEnvironmentVariable noData("XDG_DATA_HOME", "");
    const tarnix::test::ScopedEnvironmentVariable longHome("HOME", home);
    const std::string folder = home + "/.local/share/tarnix-programmer";

    const std::string serial = Plug({"--reenumerate-ms", "100", "--page-ms", "1"});
    const std::vector<unsigned char> before = ReadParameterArea(serial);
    RunSim({"fault", serial, "stall"});
    const ProgramRun failed = RunCli(ArgumentsOf(Command::Write));
    EXPECT_EQ(failed.exitCode, 255);
    std::vector<std::string> saved;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        saved.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(saved.size(), 1u);
    const std::string path = folder + "/" + saved[0];
    EXPECT_EQ(failed.err, "Error: " + downloadFailed + "\n" + tarnix::test::kPageMayBeChanged +
                              " Its contents from before the write are saved in " + path +
                              "; write them back with: cd " + folder + " && TarnixProgrammer_CLI -f " + saved[0] +
                              " -o\n");

    RunSim({"fault", serial, "none"});
    ASSERT_TRUE(WaitForMode(serial, "dfu", 3000));
    const ProgramRun wholePath = RunCli({"-f", path, "-o"});
    EXPECT_NE(wholePath.out.find("Error: Too long path. Supports up to 259 characters.\n"), std::string::npos)
        << "the whole path is refused, so the line must not name it: " << wholePath.out;
    ExpectNamedCommandRestores(failed, serial, before);
}

// ---- Sensors pulled off the bus ----

class UnplugTest : public FaultMatrixBase, public ::testing::WithParamInterface<Command> {
protected:
    // Waits until the sensor is in `mode` (present or still re-enumerating), then pulls it.
    bool UnplugWhenIn(const std::string& serial, const std::string& mode, int limitMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (std::chrono::steady_clock::now() < end) {
            const std::string line = SimLine(serial);
            if (line.find(" " + mode + " ") != std::string::npos) {
                RunSim({"unplug", serial});
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

// The sensor is switched to DFU mode and pulled while it re-enumerates: the tool gives up after its 4000 ms
// wait for the DFU device. A sensor plugged in afterwards is served normally.
TEST_P(UnplugTest, DuringTheSwitchWait)
{
    const Command command = GetParam();
    const std::string serial = Plug({"--reenumerate-ms", "1500", "--page-ms", "1"});
    std::future<ProgramRun> running = StartCli(ArgumentsOf(command));
    ASSERT_TRUE(UnplugWhenIn(serial, "dfu", 5000));
    const ProgramRun run = running.get();

    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.err, "Error: " + noConfigurationHandle + "\n");
    EXPECT_EQ(run.out, "\n");
    EXPECT_LT(run.milliseconds, LimitOf(command));
    EXPECT_EQ(SimLine(serial), "");

    const std::string replacement = Plug({"--reenumerate-ms", "100", "--page-ms", "1"});
    ExpectCommandSucceeds(command, replacement);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, UnplugTest, ::testing::Values(Command::Read, Command::Write, Command::Flash),
                         [](const ::testing::TestParamInfo<Command>& info) { return CommandName(info.param); });

// A sensor pulled while the firmware is erased and programmed (slow pages make that phase last): the flash
// fails within its waits, and a sensor plugged in again takes the firmware.
TEST_F(UnplugTest, DuringProgramming)
{
    RunSim({"make-firmware", "--version", "2.5", "--size", "24576", "-o", bus.File("fw.hex")});
    const std::string serial = Plug({"--reenumerate-ms", "100", "--page-ms", "150"});
    std::future<ProgramRun> running = StartCli(ArgumentsOf(Command::Flash));
    ASSERT_TRUE(WaitForMode(serial, "dfu", 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    RunSim({"unplug", serial});
    const ProgramRun run = running.get();

    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("Start flashing...\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\nError: Flashing failed.\n\n"), std::string::npos) << run.out;
    EXPECT_LT(run.milliseconds, flashCommandLimitMs);

    const std::string replacement = Plug({"--reenumerate-ms", "100", "--page-ms", "1"});
    ExpectCommandSucceeds(Command::Flash, replacement);
}

// A write whose sensor is pulled during the transfer and plugged in again (the unplug fault cleared): the
// parameter page is old or erased, and the tool then writes it from scratch.
TEST_F(UnplugTest, WriteDuringTheTransferLeavesNoPartialBuffer)
{
    const std::string serial = Plug({"--reenumerate-ms", "100", "--page-ms", "1"});
    const std::vector<unsigned char> before = ReadParameterArea(serial);
    RunSim({"fault", serial, "unplug"});
    const ProgramRun run = RunCli(ArgumentsOf(Command::Write));
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(DeviceNameOf(serial), "-");  // off the bus

    RunSim({"fault", serial, "none"});
    ASSERT_TRUE(WaitForMode(serial, "dfu", 3000));
    const std::vector<unsigned char> after = ReadParameterArea(serial);
    EXPECT_TRUE(after == before || Erased(after));
    EXPECT_FALSE(StoredFingerFrequency(serial).has_value() && after != before);
    ExpectCommandSucceeds(Command::Write, serial);
}

}  // namespace
