#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bus/SimBus.h"
#include "sim/sensor/TextNumbers.h"
#include "tests/sim/usbrun/UsbRunSession.h"
#include "tests/support/SensorFlash.h"

namespace tarnix::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kBootloaderNode = "/dev/bus/usb/001/002";
constexpr std::uint32_t kHolderAddress = sensor_flash::kStart;

// What the command-line tool left: its streams and exit code, read from the files a script wrote them to.
struct CliOutcome {
    std::string out;
    std::string err;
    std::string exitCode;
};

// A sensor in DFU mode whose bootloader interface another DFU program (the probe) holds claimed while the
// command-line tool runs a command; the same command is then run once more against the same bootloader with
// its open failing by a fault, for the error that any open failure gives.
class UsbRunClaimTest : public ::testing::TestWithParam<std::vector<std::string>> {
protected:
    void SetUp() override
    {
        serial_ = session_.Bus().Plug(sim::SensorMode::Dfu);
        session_.Bus().Bus().WriteFlash(serial_, kHolderAddress, holderBytes_);
        session_.Bus().Files().Write("p.json", "{ \"fingerFrequency\": 123 }\n");
        ASSERT_TRUE(session_.Bus().MakeFirmware("fw.hex", {"--version", "2.5", "--size", "2048"}).Succeeded());
    }

    // The command-line tool's command, its files in the test's folder.
    std::string Command()
    {
        std::string command = "$CLI";
        for (const std::string& argument : GetParam()) {
            command += " " + (argument.find('.') != std::string::npos ? session_.Bus().File(argument) : argument);
        }
        return command;
    }

    // The command with its streams and exit code written to files named after `name`.
    std::string Recorded(const std::string& name)
    {
        const std::string files = session_.Bus().File(name);
        return Command() + " >" + files + ".out 2>" + files + ".err; echo $? >" + files + ".code";
    }

    CliOutcome Outcome(const std::string& name)
    {
        const TemporaryFolder& files = session_.Bus().Files();
        return {files.Read(name + ".out"), files.Read(name + ".err"), files.Read(name + ".code")};
    }

    UsbRunSession session_;
    std::string serial_;
    const Bytes holderBytes_ = sensor_flash::Pattern(16, 3);
    ScopedEnvironmentVariable cli_{"CLI", (TestBinaryFolder() / "TarnixProgrammer_CLI").string()};
    ScopedEnvironmentVariable mutex_{"TARNIX_MUTEX_PREFIX", session_.Bus().File("mutex") + ":"};
};

// Two files on the bootloader's node contend for its interface as on the kernel's usbfs.
TEST(UsbRunClaim, AClaimHeldByOneFileIsRefusedToAnotherUntilItIsDisconnectedReleasedOrClosed)
{
    UsbRunSession session;
    const std::string serial = session.Bus().Plug(sim::SensorMode::Dfu);
    const Bytes pattern = sensor_flash::Pattern(16, 9);
    session.Bus().Bus().WriteFlash(serial, kHolderAddress, pattern);
    const ToolRun run = session.Run("$PROBE hold-claim " + std::string(kBootloaderNode) + " " +
                                    std::to_string(kHolderAddress) + " \"$PROBE contend " + kBootloaderNode + "\"");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const std::string contender =
        run.out.substr(run.out.find("driver="), run.out.find("command=") - run.out.find("driver="));
    EXPECT_EQ(contender,
              "driver=usbfs\n"
              "claim=EBUSY\n"
              "transfer=EBUSY\n"  // a request to the interface would claim it
              "spare=EBUSY\n"     // the claim that spares usbfs leaves the holder alone
              "disconnect=OK\n"   // the plain disconnect takes the holder's claim away
              "reclaim=OK\n"
              "release=OK\n"
              "released=ENODATA\n"
              "own=OK\n"
              "closed=ENODATA\n");  // closing the file ended its claim
    const auto holder = UsbRunSession::Values(run.out.substr(run.out.find("command=")));
    EXPECT_EQ(holder.at("release"), "EINVAL") << "the holder's claim was taken by the disconnect";
    EXPECT_EQ(holder.at("upload"), "OK") << "free again, the interface is claimed by the holder's transfer";
    EXPECT_EQ(holder.at("data"), sim::TextNumbers::HexBytes(pattern));
}

TEST_P(UsbRunClaimTest, TheToolFailsToOpenAnInterfaceAnotherProgramHoldsAndLeavesThatProgramsTransferAlone)
{
    const ToolRun run =
        session_.Run("$PROBE hold-claim " + std::string(kBootloaderNode) + " " + std::to_string(kHolderAddress) + " " +
                     ShellQuoted(Recorded("held")) + " && $SIM fault " + serial_ + " open && " + Recorded("refused"));
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const auto holder = UsbRunSession::Values(run.out);
    EXPECT_EQ(holder.at("claim"), "OK");
    EXPECT_EQ(holder.at("address"), "OK");
    EXPECT_EQ(holder.at("release"), "OK") << "the claim stayed the holder's throughout";
    EXPECT_EQ(holder.at("upload"), "OK") << "the holder's transfer goes on";
    EXPECT_EQ(holder.at("data"), sim::TextNumbers::HexBytes(holderBytes_))
        << "from the address the holder set: nobody else moved the pointer";

    const CliOutcome held = Outcome("held");
    const CliOutcome refused = Outcome("refused");
    EXPECT_EQ(held.exitCode, "255\n");
    EXPECT_EQ(held.out, refused.out);
    EXPECT_EQ(held.err, refused.err);
    EXPECT_EQ(held.exitCode, refused.exitCode);
    const auto listing = session_.Bus().Listing(serial_);
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->mode, sim::SensorMode::Dfu) << "the bootloader was left in place";
}

INSTANTIATE_TEST_SUITE_P(Commands, UsbRunClaimTest,
                         ::testing::Values(std::vector<std::string>{"-r", "out.json"},
                                           std::vector<std::string>{"-w", "p.json"},
                                           std::vector<std::string>{"-f", "fw.hex"}),
                         [](const ::testing::TestParamInfo<std::vector<std::string>>& info) {
                             return info.param[0] == "-r" ? "Read" : info.param[0] == "-w" ? "Write" : "Flash";
                         });

}  // namespace
}  // namespace tarnix::test
