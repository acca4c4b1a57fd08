#pragma once

#include <memory>
#include <string>

#include "platform/DfuTransport.h"

namespace tarnix::platform {

// The DFU interface of a USB device on the real bus, reached through its usbfs node.
class UsbfsDfuTransport : public DfuTransport {
public:
    static std::unique_ptr<DfuTransport> Open(const std::string& devicePath);
};

}  // namespace tarnix::platform
