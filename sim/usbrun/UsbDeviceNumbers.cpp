#include "sim/usbrun/UsbDeviceNumbers.h"

#include "sim/bus/SimError.h"

namespace tarnix::sim {

UsbDeviceNumbers::UsbDeviceNumbers() { taken_.set(kRootHub); }

unsigned UsbDeviceNumbers::Take()
{
    for (unsigned tried = 0; tried < kHighest; ++tried) {
        const unsigned number = next_;
        next_ = number == kHighest ? 1 : number + 1;
        if (!taken_.test(number)) {
            taken_.set(number);
            return number;
        }
    }
    throw SimError("every USB device number of bus 1 is taken");
}

void UsbDeviceNumbers::Release(unsigned number)
{
    if (number <= kHighest) {
        taken_.reset(number);
    }
}

}  // namespace tarnix::sim
