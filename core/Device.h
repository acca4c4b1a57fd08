#pragma once

#include "core/DeviceInformation.h"
#include "core/Parameters.h"

#include <atomic>
#include <string>

// What every device record holds, whichever USB personality the sensor shows: the connection flag, the
// device name (for DFU devices; a sensor keeps its own, see SensorDevice), a serial-number text, the last
// known parameters and what the sensor reported about itself. Records are created and owned by the
// DeviceHandler; everybody else holds plain pointers that stay valid for the life of the process.
class Device {
public:
    virtual ~Device();

    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool GetIsConnected() const;
    void SetIsConnected(bool connected);

    // The device name kept in this base part: a DFU device's path; empty for a sensor.
    std::string GetUsbDevicePath() const;

    std::string GetDeviceSerialNumber() const;
    void SetDeviceSerialNumber(std::string serialNumber);

    Parameters* GetParameters();
    // Keeps an independent copy; the caller's record may go away at once.
    void SetParameters(const Parameters& newParameters);

    DeviceInformation* GetDeviceInformation();
    void SetDeviceInformation(DeviceInformation information);

protected:
    explicit Device(std::string path);

private:
    // Written by the DFU layer and the discovery thread, read from the front end's thread.
    std::atomic<bool> isConnected{false};
    std::string usbDevicePath;
    std::string deviceSerialNumber;
    Parameters parameters;
    DeviceInformation deviceInformation;
};
