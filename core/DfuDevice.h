#pragma once

#include "core/Device.h"

#include <mutex>
#include <string>

// A sensor in DFU mode ("configuration mode" for the user), seen as a plain USB device. Its device name is
// the path of its USB device interface, kept in the base part.
//
// The record also tracks who uses its DFU handle, so that the handle is closed once the device has left the
// registry (it went away, or the names were cleared) without pulling it from under an operation that is
// still running on another thread: the DFU layer brackets each operation with BeginUse and EndUse, the
// registry calls Depart, and whichever of them comes last is handed the handle to close.
class DfuDevice : public Device {
public:
    explicit DfuDevice(std::string path);
    ~DfuDevice() override;

    // The DFU library's opaque handle: its open call writes through this address and every request reads
    // it. Null while no DFU operation has the device open. Only the thread running an operation between
    // BeginUse and EndUse may go through it.
    void** GetDfuDeviceHandle();
    void SetDfuDeviceHandle(void** handle);

    // An operation of the DFU layer starts using the handle.
    void BeginUse();
    // That operation has ended. Answers the open handle that the caller must now close: the device has
    // departed and no other operation uses it. Null when there is nothing to close.
    void* EndUse();
    // The device has left the registry. Answers the open handle that the caller must close now, when no
    // operation uses it; otherwise the last operation to end gets it. The record counts as no longer
    // connected once its handle is handed out.
    void* Depart();

private:
    // Hands the open handle out for closing, leaving the record without one.
    void* TakeHandle();

    std::mutex useLock;  // guards the three members below whenever no operation is running
    unsigned users = 0;
    bool departed = false;
    void* dfuDeviceHandle = nullptr;
};
