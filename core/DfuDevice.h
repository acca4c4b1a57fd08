#pragma once

#include "core/Device.h"

#include <functional>
#include <mutex>
#include <string>

// A sensor in DFU mode ("configuration mode" for the user), seen as a plain USB device. Its device name is
// the path of its USB device interface, kept in the base part.
//
// The record also tracks who uses its DFU handle, so that the handle is closed once the device has left the
// registry (it went away, or the names were cleared) without pulling it from under an operation that is
// still running on another thread: the DFU layer brackets each operation with BeginUse and EndUse, the
// registry calls Depart, and whichever of them comes last closes the handle, with the closer that the DFU
// layer gives the record with each use. The registry so needs nothing of the DFU layer.
class DfuDevice : public Device {
public:
    // Closes an open handle of the DFU library.
    using HandleCloser = std::function<void(void*)>;

    explicit DfuDevice(std::string path);
    ~DfuDevice() override;

    // The DFU library's opaque handle: its open call writes through this address and every request reads
    // it. Null while no DFU operation has the device open. Only the thread running an operation between
    // BeginUse and EndUse may go through it.
    void** GetDfuDeviceHandle();
    void SetDfuDeviceHandle(void** handle);

    // An operation of the DFU layer starts using the handle; `closer` closes it once the record lets go of it.
    void BeginUse(HandleCloser closer);
    // That operation has ended. Closes the open handle when the device has departed and no other operation
    // uses it.
    void EndUse();
    // The device has left the registry. Closes the open handle now when no operation uses it; otherwise the
    // last operation to end closes it. The record counts as no longer connected once it lets go of its handle.
    void Depart();

private:
    // Takes the open handle for closing, leaving the record without one; null when there is none.
    void* TakeHandle();
    // Closes a taken handle with the closer, after letting go of the lock: closing talks to the device.
    void CloseTaken(void* handle, std::unique_lock<std::mutex>& guard);

    std::mutex useLock;  // guards the members below whenever no operation is running
    unsigned users = 0;
    bool departed = false;
    void* dfuDeviceHandle = nullptr;
    HandleCloser handleCloser;
};
