#pragma once

#include <atomic>

#include "sim/testbed/NodeEndpoint.h"

namespace tarnix::test {

// A device behind a test-bed node, written in the test: it answers the ioctls of the files opened while it
// was plugged. Once unplugged, every ioctl fails with ENODEV, as the kernel's do.
class ScriptedDevice : public sim::NodeEndpoint {
public:
    // Called on the test bed's worker thread.
    sim::IoctlAnswer Handle(sim::IoctlCall& call) final;
    void Unplug() { gone_ = true; }
    bool IsGone() const { return gone_; }

protected:
    virtual sim::IoctlAnswer Answer(sim::IoctlCall& call) = 0;

private:
    std::atomic<bool> gone_{false};
};

}  // namespace tarnix::test
