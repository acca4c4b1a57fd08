#pragma once

#include <string>

namespace TpError {
class Exception;
}

// What the model reports to its front end. The front end implements this interface and lends it to the
// model, which never deletes it.
//
// Threads: OnNewDevice, OnDeviceDisconnected, OnErrorConnectingToDevice and OnIncompatibleDfuDrivers come
// from the device search thread; OnUpdateProgress from the progress thread; OnWriteFirmwareFinished and
// OnWriteFirmwareFailed from the firmware write thread; the rest on the thread of the call that causes them.
// A receiver must accept calls from all of these threads, and must not wait inside an event for the thread
// that owns the model: the owner may be blocked joining the very thread that fires the event.
class ApplicationModelEvents {
public:
    virtual void OnNewDevice(std::string name, std::string description, bool isDfu) = 0;
    virtual void OnDeviceDisconnected(std::string name) = 0;
    virtual void OnErrorConnectingToDevice(TpError::Exception& error) = 0;
    virtual void OnUpdateProgress(int percent) = 0;
    virtual void OnWriteFirmwareFinished() = 0;
    virtual void OnBadFirmwareFile() = 0;
    virtual void OnFirmwareFileChecked(bool willOverwritePersistentParameters, std::string& path) = 0;
    virtual void OnFailedFirmwareFileCheck() = 0;
    virtual void OnWriteFirmwareFailed() = 0;
    virtual void OnLeaveDfuModeResult(bool succeeded) = 0;
    virtual void OnIncompatibleDfuDrivers() = 0;

protected:
    // Receivers are never deleted through this interface.
    ~ApplicationModelEvents() = default;
};
