#pragma once

#include <bitset>

namespace tarnix::sim {

// The device numbers of one USB bus as the kernel gives them: 1 to 127, 1 for the root hub; each new device
// gets the first free number after the one given last, and after 127 the search starts again from the
// bottom, passing over the numbers of devices still present.
class UsbDeviceNumbers {
public:
    static constexpr unsigned kRootHub = 1;
    static constexpr unsigned kHighest = 127;

    // The root hub's number is taken.
    UsbDeviceNumbers();

    // The number of a new device; throws SimError when every number is taken.
    unsigned Take();
    // The device with that number has gone.
    void Release(unsigned number);

private:
    std::bitset<kHighest + 1> taken_;
    unsigned next_ = kRootHub + 1;
};

}  // namespace tarnix::sim
