#include "tests/platform/usb/ScriptedDevice.h"

#include <cerrno>

namespace tarnix::test {

void ScriptedDevice::Handle(std::unique_ptr<IoctlCall> call) {
    if (gone_) {
        call->Complete(-1, ENODEV);
        return;
    }
    Answer(std::move(call));
}

}  // namespace tarnix::test
