#include "tests/platform/usb/ScriptedDevice.h"

#include <cerrno>

namespace tarnix::test {

sim::IoctlAnswer ScriptedDevice::Handle(sim::IoctlCall& call)
{
    return gone_ ? sim::IoctlAnswer::Failure(ENODEV) : Answer(call);
}

}  // namespace tarnix::test
