#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimBus.h"
#include "sim/TextNumbers.h"
#include "tests/sim/usbrun/UsbRunSession.h"
#include "tests/support/SensorFlash.h"

namespace tarnix::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kBootloaderNode = "/dev/bus/usb/001/002";
constexpr std::uint32_t kHolderAddress = sensor_flash::kStart;

// Two files on the bootloader's node contend for its interface as on the kernel's usbfs.
TEST(UsbRunClaim, AClaimHeldByOneFileIsRefusedToAnotherUntilItIsDisconnectedReleasedOrClosed) {
    UsbRunSession session;
    const std::string serial = session.Bus().Plug(sim::SensorMode::Dfu);
    const Bytes pattern = sensor_flash::Pattern(16, 9);
    session.Bus().Bus().WriteFlash(serial, kHolderAddress, pattern);
    const ToolRun run = session.Run("$PROBE hold-claim " + std::string(kBootloaderNode) + " " +
                                    std::to_string(kHolderAddress) + " \"$PROBE contend " + kBootloaderNode + "\"");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const std::string contender = run.out.substr(run.out.find("driver="), run.out.find("command=") - run.out.find("driver="));
    EXPECT_EQ(contender,
              "driver=usbfs\n"
              "claim=EBUSY\n"
              "transfer=EBUSY\n"    // a request to the interface would claim it
              "spare=EBUSY\n"       // the claim that spares usbfs leaves the holder alone
              "disconnect=OK\n"     // the plain disconnect takes the holder's claim away
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

}  // namespace
}  // namespace tarnix::test
