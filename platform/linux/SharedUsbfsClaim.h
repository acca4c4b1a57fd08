#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/FileDescriptor.h"

namespace tarnix::platform {

// A claimed interface of a USB device, held through an open file of the device's usbfs node and shared by
// everything in this process that opens the same interface while it is claimed. The kernel lets one open
// file hold an interface, and refuses it to every other file, even one of the same process; yet a device is
// opened a second time while it is open (the firmware operation reads the memory layout of a connected
// device), as the Windows driver allows. Claiming detaches a kernel driver bound to the interface but never
// another program's claim. The last user releases the interface and closes the file.
//
// Thread-safe. Two threads that open the same interface at the same moment as the last user of an earlier
// claim lets it go may see the interface still busy; callers do not run two operations on one device at once.
class SharedUsbfsClaim {
public:
    // The interface of the device at the usbfs node, claimed, alternate setting 0 selected: the claim this
    // process already holds while that device is still there, else a new one. Nothing when the node cannot be
    // opened or the interface is busy (another program holds it) or cannot be claimed.
    static std::shared_ptr<SharedUsbfsClaim> Acquire(const std::string& devicePath, std::uint8_t interfaceNumber);

    SharedUsbfsClaim(io::FileDescriptor node, std::uint8_t interfaceNumber);
    ~SharedUsbfsClaim();
    SharedUsbfsClaim(const SharedUsbfsClaim&) = delete;
    SharedUsbfsClaim& operator=(const SharedUsbfsClaim&) = delete;

    // The open usbfs file that holds the claim, for the transfers.
    int Descriptor() const { return node_.Get(); }

private:
    bool Claim();
    // False once the device has left the bus (its number may then name a new device).
    bool DeviceStillThere() const;

    io::FileDescriptor node_;
    std::uint8_t interfaceNumber_;
    bool claimed_ = false;
};

}  // namespace tarnix::platform
