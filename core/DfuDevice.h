#pragma once

#include "core/Device.h"

#include <string>

// A sensor in DFU mode ("configuration mode" for the user), seen as a plain USB device. Its device name is
// the path of its USB device interface, kept in the base part.
class DfuDevice : public Device {
public:
    explicit DfuDevice(std::string path);
    ~DfuDevice() override;

    // The DFU library's opaque handle: its open call writes through this address and every request reads
    // it. Null while no DFU operation has the device open.
    void** GetDfuDeviceHandle();
    void SetDfuDeviceHandle(void** handle);

private:
    void* dfuDeviceHandle = nullptr;
};
