#pragma once

#include "sim/usbrun/IoctlCall.h"

namespace tarnix::sim {

// What answers the ioctls of one open file of an emulated device node.
class NodeEndpoint {
public:
    virtual ~NodeEndpoint() = default;
    virtual IoctlAnswer Handle(IoctlCall& call) = 0;
};

}  // namespace tarnix::sim
