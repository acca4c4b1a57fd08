#pragma once

#include <string>

#include "io/FileDescriptor.h"
#include "sim/gadget/GadgetIds.h"

namespace tarnix::sim {

// A USB gadget in configfs with one configuration holding one FunctionFS function, whose instance is
// mounted for the program to play. The constructor builds the tree (mounting configfs when it is not yet)
// and the destructor takes it down again; binding to the device controller (UDC) puts the gadget on the
// bus, unbinding takes it off as an unplug does. Failures throw SimError.
class ConfigfsGadget {
public:
    ConfigfsGadget(const std::string& name, const std::string& functionFsFolder, std::string udc);
    ~ConfigfsGadget();
    ConfigfsGadget(const ConfigfsGadget&) = delete;
    ConfigfsGadget& operator=(const ConfigfsGadget&) = delete;

    // The first device controller the kernel offers (/sys/class/udc); SimError when there is none.
    static std::string FirstUdc();

    // Only while unbound.
    void SetIdentity(const GadgetIds& identity);
    // The function's endpoint zero, opened; the descriptors must be written to it before Bind.
    io::FileDescriptor OpenEndpointZero() const;
    void Bind();
    // Leaves the bus; does nothing when unbound.
    void Unbind();

private:
    void TearDown() noexcept;
    std::string Path(const std::string& relative) const;

    std::string root_;
    std::string functionName_;
    std::string functionFsFolder_;
    std::string udc_;
    bool bound_ = false;
};

}  // namespace tarnix::sim
