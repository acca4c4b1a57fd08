#include "sim/usbrun/BusMirror.h"

#include <chrono>
#include <set>

#include "sim/sensor/BusConstants.h"
#include "sim/bus/SimError.h"
#include "sim/bus/WallClock.h"
#include "sim/testbed/DeviceTestbed.h"
#include "sim/usbrun/DescriptorLimit.h"
#include "sim/usbrun/HidrawEndpoint.h"
#include "sim/sensor/UsbDescriptorBuilder.h"
#include "sim/usbrun/UsbfsEndpoint.h"

namespace tarnix::sim {

namespace {

// The strings of the bootloader by descriptor index, as its usb_device shows them.
DescriptorTable DescriptorsOf(const SensorState& state)
{
    using Builder = UsbDescriptorBuilder;
    DescriptorTable descriptors{Builder::BootloaderDevice(),
                                Builder::BootloaderConfiguration(kDfuTransferSize),
                                {{Builder::kManufacturerString, UsbDeviceRecords::Manufacturer(state)},
                                 {Builder::kProductString, UsbDeviceRecords::Product(state)},
                                 {Builder::kLayoutString, kDfuMemoryLayout}}};
    if (!state.serialStringFails) {
        descriptors.strings[Builder::kSerialString] = state.serial;
    }
    return descriptors;
}

bool SameAppearance(const SensorState& a, const SensorState& b)
{
    return a.instance == b.instance && a.generation == b.generation && a.mode == b.mode;
}

}  // namespace

BusMirror::BusMirror(SensorStore store, DeviceTestbed& testbed) : store_(std::move(store)), testbed_(testbed) {}

BusMirror::~BusMirror() { Stop(); }

void BusMirror::Start()
{
    testbed_.Add(UsbDeviceRecords::RootHub());
    Synchronize();
}

void BusMirror::Follow(std::function<void(const std::string& reason)> onFailure)
{
    thread_ = std::thread([this, onFailure = std::move(onFailure)] {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(kPollMs), [this] { return stopping_; })) {
            lock.unlock();
            try {
                Synchronize();
            } catch (const std::exception& error) {
                onFailure(error.what());
                return;
            }
            lock.lock();
        }
    });
}

void BusMirror::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void BusMirror::Synchronize()
{
    const std::int64_t now = WallClock::NowMs();
    const std::vector<SensorState> states = store_.LoadAll();
    std::map<std::string, const SensorState*> bySerial;
    for (const SensorState& state : states) {
        bySerial[state.serial] = &state;
    }
    for (auto shown = shown_.begin(); shown != shown_.end();) {
        const auto state = bySerial.find(shown->first);
        const SensorState* current = state != bySerial.end() ? state->second : nullptr;
        if (StillShown(shown->second, current, now)) {
            UpdateDriver(shown->second, *current);
            ++shown;
        } else {
            Hide(shown->second);
            shown = shown_.erase(shown);
        }
    }
    ReleasePorts(bySerial);
    for (const SensorState& state : states) {
        if (state.IsPresent(now) && shown_.count(state.serial) == 0) {
            Show(state);
        }
    }
}

bool BusMirror::StillShown(const ShownSensor& shown, const SensorState* state, std::int64_t nowMs) const
{
    return state != nullptr && state->IsPresent(nowMs) && state->instance == shown.instance &&
           state->generation == shown.generation && state->mode == shown.mode;
}

void BusMirror::Show(const SensorState& state)
{
    DescriptorLimit::RequireRoom(kDescriptorsPerChange);
    BusPlacement placement;
    placement.port = PortOf(state);
    placement.deviceNumber = deviceNumbers_.Take();
    if (state.mode == SensorMode::Normal) {
        placement.hidCounter = nextHidCounter_++;
        placement.hidrawMinor = nextHidrawMinor_++;
    }
    ShownSensor shown;
    shown.instance = state.instance;
    shown.generation = state.generation;
    shown.mode = state.mode;
    shown.deviceNumber = placement.deviceNumber;
    shown.driverProperty = state.mode == SensorMode::Dfu && state.driver == DriverKind::Ok;
    shown.devices = UsbDeviceRecords::Sensor(state, placement);
    // In the order of DeviceTestbed: what answers the nodes, the nodes, the records, the nodes' numbers.
    ShownSensor& entry = shown_[state.serial] = std::move(shown);
    BindNodes(state, entry.devices);
    MakeNodes(entry);
    testbed_.Add(entry.devices.records);
    for (const DeviceNode& node : entry.devices.nodes) {
        testbed_.FinishNode(node);
    }
}

void BusMirror::MakeNodes(ShownSensor& shown)
{
    for (const DeviceNode& node : shown.devices.nodes) {
        if (node.devNode == shown.devices.hidrawNode && shown.devices.hidrawRefusesOpen) {
            shown.refusedNode = std::make_unique<RefusedNode>(testbed_.Root(), node.devNode, node.major, node.minor);
        } else {
            testbed_.MakeNode(node);
        }
    }
}

// The hidraw node is answered by the sensor's HID interface in normal mode (unless it refuses opens), the
// usbfs node by its bootloader in DFU mode.
void BusMirror::BindNodes(const SensorState& state, const DeviceRecordSet& devices)
{
    const SensorStore store = store_;
    if (state.mode == SensorMode::Normal && !devices.hidrawRefusesOpen) {
        testbed_.Serve(devices.hidrawNode, [store, state] {
            return std::make_unique<HidrawEndpoint>(
                std::make_unique<SimulatedHidDevice>(store, state, SimulatedHidDevice::Access::ReadWrite));
        });
    }
    if (state.mode == SensorMode::Dfu) {
        testbed_.Serve(devices.usbNode, BootloaderOpener(state));
    }
}

NodeIoctlHandler::EndpointOpener BusMirror::BootloaderOpener(const SensorState& state) const
{
    const SensorStore store = store_;
    // The files opened on the node share the claim of the bootloader's interface.
    auto claim = std::make_shared<UsbInterfaceClaim>();
    return [store, state, claim] {
        // Whether the interface can be claimed is decided when the program opens the node, by the
        // sensor's driver and faults at that moment.
        const auto current = store.Load(state.serial);
        const bool claimable = current && SameAppearance(*current, state) && SimulatedDfuTransport::Openable(*current);
        if (current && SameAppearance(*current, state) && !claimable) {
            SimulatedDfuTransport::SpendOneShotOpenFault(store, state.serial);
        }
        return std::make_unique<UsbfsEndpoint>(std::make_unique<SimulatedDfuTransport>(store, state), claimable,
                                               DescriptorsOf(state), claim);
    };
}

// In the order of DeviceTestbed: what answers the nodes, then the devices with their nodes, children first.
void BusMirror::Hide(const ShownSensor& shown)
{
    for (const DeviceNode& node : shown.devices.nodes) {
        testbed_.StopServing(node.devNode);
    }
    for (auto path = shown.devices.sysPaths.rbegin(); path != shown.devices.sysPaths.rend(); ++path) {
        testbed_.Remove(*path);
    }
    deviceNumbers_.Release(shown.deviceNumber);
}

// The rule's trigger gives a DFU device the driver property in place, as a "change" event does.
void BusMirror::UpdateDriver(ShownSensor& shown, const SensorState& state)
{
    if (shown.mode == SensorMode::Dfu && !shown.driverProperty && state.driver == DriverKind::Ok) {
        testbed_.SetProperty(shown.devices.usbDevicePath, UsbDeviceRecords::kDfuDriverProperty, "1");
        shown.driverProperty = true;
    }
}

// A sensor keeps its port while it is plugged in, through every re-enumeration.
void BusMirror::ReleasePorts(const std::map<std::string, const SensorState*>& plugged)
{
    for (auto port = ports_.begin(); port != ports_.end();) {
        const auto state = plugged.find(port->first);
        if (state == plugged.end() || state->second->instance != port->second.instance) {
            port = ports_.erase(port);
        } else {
            ++port;
        }
    }
}

unsigned BusMirror::PortOf(const SensorState& state)
{
    const auto known = ports_.find(state.serial);
    if (known != ports_.end()) {
        return known->second.number;
    }
    std::set<unsigned> taken;
    for (const auto& port : ports_) {
        taken.insert(port.second.number);
    }
    unsigned number = 1;
    while (taken.count(number) != 0) {
        ++number;
    }
    ports_[state.serial] = {state.instance, number};
    return number;
}

}  // namespace tarnix::sim
