#pragma once

#include "core/Device.h"

#include <memory>
#include <mutex>
#include <string>

namespace tarnix::io {
class HidDevice;
}

// A sensor running its normal firmware, seen as a USB HID interface. Its device name is the path of that
// interface; it is kept here and answered by this class's GetUsbDevicePath, while the base part's path
// stays empty.
class SensorDevice : public Device {
public:
    using HidHandle = std::shared_ptr<tarnix::io::HidDevice>;

    explicit SensorDevice(std::string path);
    ~SensorDevice() override;

    // The HID interface path (hides Device::GetUsbDevicePath, which answers empty for a sensor).
    std::string GetUsbDevicePath() const;

    // Manufacturer, product and serial-number strings joined by single blanks; empty until all three
    // were read.
    std::string GetDeviceDescription() const;
    void SetDeviceDescription(std::string description);

    // The open HID interface used for feature reports; empty until discovery opened it and again once the
    // sensor has left the registry. A caller keeps the interface open for as long as it holds the copy it
    // got, so a feature report in progress on one thread survives the release on another.
    HidHandle GetHidDeviceHandle() const;
    // Replaces the handle; the one it held is closed once nobody uses it any more.
    void SetHidDeviceHandle(HidHandle handle);
    // The sensor has left the registry (unplugged, switched to DFU mode, or the names were cleared): the
    // record lets go of its HID interface, which closes when the last feature report using it ends, and
    // counts as no longer connected.
    void ReleaseHidDeviceHandle();

private:
    std::string deviceDescription;
    std::string usbDevicePath;
    // Guards the handle member itself: discovery's thread releases it while callers' threads copy it.
    mutable std::mutex handleLock;
    HidHandle hidDeviceHandle;
};
