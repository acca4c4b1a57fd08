#pragma once

#include "core/Device.h"

#include <memory>
#include <string>

namespace tarnix::platform {
class HidDevice;
}

// A sensor running its normal firmware, seen as a USB HID interface. Its device name is the path of that
// interface; it is kept here and answered by this class's GetUsbDevicePath, while the base part's path
// stays empty.
class SensorDevice : public Device {
public:
    using HidHandle = std::shared_ptr<tarnix::platform::HidDevice>;

    explicit SensorDevice(std::string path);
    ~SensorDevice() override;

    // The HID interface path (hides Device::GetUsbDevicePath, which answers empty for a sensor).
    std::string GetUsbDevicePath() const;

    // Manufacturer, product and serial-number strings joined by single blanks; empty until all three
    // were read.
    std::string GetDeviceDescription() const;
    void SetDeviceDescription(std::string description);

    // The open HID interface used for feature reports; empty until discovery opened it.
    HidHandle* GetHidDeviceHandle();
    void SetHidDeviceHandle(HidHandle handle);

private:
    std::string deviceDescription;
    std::string usbDevicePath;
    HidHandle hidDeviceHandle;
};
