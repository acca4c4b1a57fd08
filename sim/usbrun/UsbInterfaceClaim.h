#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace tarnix::sim {

// Who holds the interface of an emulated USB device: nobody, or one open file of its usbfs node, which the
// kernel shows as the interface's driver "usbfs". One object is shared by the files opened on the node
// while the device keeps one appearance. As in the kernel, a second file's claim is refused, a claim ends
// at its release or when its file is closed, and a disconnect ends whoever's claim it is.
// Thread-safe: every file is answered on a connection of its own.
class UsbInterfaceClaim {
public:
    using Holder = const void*;

    static constexpr const char* kUsbfsDriver = "usbfs";

    // Claims the interface for `holder`; true when it was free or already the holder's.
    bool Claim(Holder holder);
    // Ends the holder's claim; false when the holder did not hold it.
    bool Release(Holder holder);
    // The driver bound to the interface: "usbfs" while a file holds it, empty otherwise.
    std::string Driver() const;
    // The plain disconnect: ends the claim, whoever holds it; false when nobody did.
    bool Disconnect();
    // The disconnect-and-claim request: a claim held (by any file, the caller's too) is ended first when
    // `mayDetach` allows detaching the driver "usbfs", then the interface is the holder's. When it does not
    // allow it, nothing changes and false comes back.
    bool DisconnectAndClaim(Holder holder, const std::function<bool(const std::string& driver)>& mayDetach);

private:
    mutable std::mutex mutex_;
    Holder holder_ = nullptr;
};

}  // namespace tarnix::sim
