#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/sensor/SensorState.h"
#include "sim/bus/SensorStore.h"
#include "sim/testbed/NodeIoctlHandler.h"
#include "sim/usbrun/RefusedNode.h"
#include "sim/usbrun/UsbDeviceNumbers.h"
#include "sim/usbrun/UsbDeviceRecords.h"

namespace tarnix::sim {

class DeviceTestbed;

// Keeps a test bed showing what the simulated bus shows: every present sensor as a USB device on a port of
// the root hub of bus 1, in normal mode with its HID interface and hidraw node, in DFU mode as its
// bootloader. A sensor that leaves the bus, re-enumerates or switches mode loses its devices at once and gets
// new ones when it is present again, with the next free USB device number (they wrap after 127, as the
// kernel's do) and, in normal mode, a new HID device number and hidraw node (hidraw nodes are never
// reused). A DFU device whose driver is put right gains the driver property in place.
class BusMirror {
public:
    static constexpr int kPollMs = 10;
    // Descriptors a new personality may need at once: its node files and ioctl sockets, umockdev's files
    // while it writes the records, a pseudo-terminal. The test bed's own failures end this process, so a
    // change it could not finish is not begun.
    static constexpr int kDescriptorsPerChange = 8;

    BusMirror(SensorStore store, DeviceTestbed& testbed);
    ~BusMirror();
    BusMirror(const BusMirror&) = delete;
    BusMirror& operator=(const BusMirror&) = delete;

    // Shows the root hub and the bus as it is now.
    void Start();
    // Follows the bus on a thread of its own until Stop, or until the test bed cannot follow it any more:
    // the thread then calls `onFailure` with the reason and ends.
    void Follow(std::function<void(const std::string& reason)> onFailure);
    void Stop();

private:
    // One personality of a sensor as the test bed shows it.
    struct ShownSensor {
        std::uint64_t instance = 0;
        std::uint32_t generation = 0;
        SensorMode mode = SensorMode::Normal;
        unsigned deviceNumber = 0;
        bool driverProperty = false;
        DeviceRecordSet devices;
        std::unique_ptr<RefusedNode> refusedNode;  // the hidraw node, when it cannot be opened
    };
    struct Port {
        std::uint64_t instance = 0;
        unsigned number = 0;
    };

    void Synchronize();
    bool StillShown(const ShownSensor& shown, const SensorState* state, std::int64_t nowMs) const;
    void Show(const SensorState& state);
    void Hide(const ShownSensor& shown);
    void UpdateDriver(ShownSensor& shown, const SensorState& state);
    void ReleasePorts(const std::map<std::string, const SensorState*>& plugged);
    unsigned PortOf(const SensorState& state);
    void MakeNodes(ShownSensor& shown);
    void BindNodes(const SensorState& state, const DeviceRecordSet& devices);
    NodeIoctlHandler::EndpointOpener BootloaderOpener(const SensorState& state) const;

    SensorStore store_;
    DeviceTestbed& testbed_;
    std::map<std::string, ShownSensor> shown_;  // by serial
    std::map<std::string, Port> ports_;         // by serial
    UsbDeviceNumbers deviceNumbers_;
    unsigned nextHidCounter_ = 1;
    unsigned nextHidrawMinor_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tarnix::sim
