#pragma once

#include <memory>
#include <string>

#include "platform/HidDevice.h"

namespace tarnix::platform {

// A HID interface of a USB device on the real bus, reached through its hidraw node.
class HidrawDevice : public HidDevice {
public:
    static std::unique_ptr<HidDevice> Open(const std::string& devicePath, Access access);
};

}  // namespace tarnix::platform
