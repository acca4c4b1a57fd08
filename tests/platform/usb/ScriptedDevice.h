#pragma once

#include <atomic>
#include <memory>

#include "tests/platform/usb/IoctlCall.h"

namespace tarnix::test {

// A device behind a test-bed node, written in the test: it answers the ioctls of the descriptors opened
// while it was plugged. Once unplugged, every ioctl fails with ENODEV, as the kernel's do.
class ScriptedDevice {
public:
    virtual ~ScriptedDevice() = default;

    // Called on the test bed's worker thread. The call may be kept and completed later from any thread.
    void Handle(std::unique_ptr<IoctlCall> call);
    void Unplug() { gone_ = true; }
    bool IsGone() const { return gone_; }

protected:
    virtual void Answer(std::unique_ptr<IoctlCall> call) = 0;

private:
    std::atomic<bool> gone_{false};
};

}  // namespace tarnix::test
