#pragma once

#include <string>

// One device as the command-line tool numbers it for a single command: sensors in normal mode first, then
// the device in configuration mode, counted from 1. The default value is the empty entry (no device).
struct IndexedSensor {
    int index = -1;
    std::string deviceName;  // HID interface path in normal mode, USB device interface path in DFU mode
    bool inDfu = false;
};
