#pragma once

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/testbed/DescriptorTable.h"
#include "sim/testbed/UsbfsRequests.h"
#include "tests/platform/usb/ScriptedDevice.h"

namespace tarnix::test {

// A DFU device behind a usbfs node, as small as the transport's tests need: it takes the usbfs requests
// the transport makes, logs each one, answers GET_DESCRIPTOR for the language list and the memory layout
// (string 4) and walks a reduced DFU state machine (dfuIDLE, dfuDNLOAD-IDLE, dfuMANIFEST-SYNC, dfuMANIFEST,
// dfuUPLOAD-IDLE). UPLOAD returns the bytes of Pattern. Faults: a request can be stalled (EPIPE), the
// interface requests can be refused, and the next UPLOAD can be held until the test lets it fail.
class ScriptedDfuDevice : public ScriptedDevice, private sim::UsbfsRequests {
public:
    ScriptedDfuDevice();

    // The byte at `index` of an upload of `block`.
    static std::uint8_t Pattern(std::uint16_t block, std::size_t index);

    // The driver bound to the interface, as the kernel names it: empty for none, "usbfs" while another
    // program holds the interface claimed, a kernel driver's name otherwise. The disconnect requests detach
    // it as the kernel does (the plain one whatever it is, the disconnect-and-claim one by its conditions);
    // a claim while one is bound fails with EBUSY, and a claim made binds "usbfs".
    void BindDriver(const std::string& driver);
    std::string BoundDriver() const;
    // The errno of a claim that would succeed and of the alternate-setting selection (0: done).
    void SetInterfaceErrors(int claim, int setInterface);
    void Stall(std::uint8_t dfuRequest);
    void HoldNextUpload();
    // Waits until a held upload has arrived; false after the time-out.
    bool WaitForHeldUpload(std::chrono::milliseconds timeout);
    // Ends the held upload with -1 and this errno.
    void FailHeldUpload(int error);

    // One line per request to interface 0: "disconnect 0", "claim 0", "disconnect-claim 0 except usbfs" (or
    // "if" and the name, or "always"), "setinterface 0 0", "release 0", and for control
    // transfers "control <bmRequestType> <bRequest> <wValue> <wIndex> <wLength> <timeout>" in hex (the
    // last two decimal).
    std::vector<std::string> Log() const;
    // The data of each DNLOAD, in order.
    std::vector<std::vector<std::uint8_t>> Downloads() const;
    bool HasLeftDfuMode() const;

protected:
    sim::IoctlAnswer Answer(sim::IoctlCall& call) override;

private:
    sim::IoctlAnswer Control(sim::IoctlCall& call, const usbdevfs_ctrltransfer& transfer, std::uint8_t* data) override;
    sim::IoctlAnswer ClaimInterface() override;
    sim::IoctlAnswer ReleaseInterface() override;
    sim::IoctlAnswer SetInterface(unsigned int setting) override;
    sim::IoctlAnswer Disconnect() override;
    sim::IoctlAnswer DisconnectClaim(const DriverCondition& condition) override;
    std::string InterfaceDriver() override;
    // Binds "usbfs" when a claim can be made; the claim's errno.
    int ClaimLocked();
    int ClassRequest(std::uint8_t request, std::uint16_t value, std::uint8_t* data, std::size_t length);
    void AddLog(const std::string& line);

    const sim::DescriptorTable descriptors_;
    mutable std::mutex mutex_;
    std::condition_variable heldChanged_;
    std::vector<std::string> log_;
    std::vector<std::vector<std::uint8_t>> downloads_;
    std::set<std::uint8_t> stalled_;
    std::string driver_;
    int claimError_ = 0;
    int setInterfaceError_ = 0;
    bool holdNextUpload_ = false;
    std::unique_ptr<sim::IoctlCall> held_;
    std::uint8_t state_ = 2;  // dfuIDLE
    bool left_ = false;
};

}  // namespace tarnix::test
