#include "sim/host/SimulatedHidDevice.h"

#include <algorithm>
#include <string_view>

#include "sim/bus/BusLock.h"
#include "sim/sensor/FeatureReports.h"
#include "sim/sensor/InformationAnswers.h"
#include "sim/bus/WallClock.h"

#include <fcntl.h>

namespace tarnix::sim {

namespace {

constexpr std::uint16_t kInputReportLength = 64;
constexpr std::uint16_t kOutputReportLength = 64;
constexpr std::uint8_t kSensorReportIds[] = {FeatureReports::kSwitchReportId, FeatureReports::kRequestReportId,
                                             FeatureReports::kAnswerReportId};

// The serial within a HID interface path "...#7&SERIAL&0&0000#{...}" (serials hold no '&'); empty when the
// path has another shape.
std::string SerialInPath(const std::string& devicePath)
{
    constexpr std::string_view kBefore = "#7&";
    const std::size_t start = devicePath.find(kBefore);
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t first = start + kBefore.size();
    const std::size_t end = devicePath.find('&', first);
    return end == std::string::npos ? std::string() : devicePath.substr(first, end - first);
}

}  // namespace

std::unique_ptr<SimulatedHidDevice> SimulatedHidDevice::Open(const std::string& devicePath, Access access)
{
    // The device search probes every present sensor in every pass, so an open reads only the sensor that the
    // path names instead of the whole bus; the full path comparison below still decides.
    SensorStore store;
    const std::string serial = SerialInPath(devicePath);
    const auto state = SensorState::IsValidSerial(serial) ? store.Load(serial) : std::nullopt;
    if (!state || state->mode != SensorMode::Normal || !state->IsPresent(WallClock::NowMs())) {
        return nullptr;
    }
    std::size_t collection = 0;
    while (collection < state->collections.size() && state->HidInterfacePath(collection) != devicePath) {
        ++collection;
    }
    if (collection == state->collections.size() || (access == Access::ReadWrite && state->openFails)) {
        return nullptr;
    }
    auto device = std::make_unique<SimulatedHidDevice>(store, *state, access, collection);
    if (access == Access::ReadWrite) {
        device->hostHandle_ = io::FileDescriptor::Open("/dev/null", O_RDONLY);
        if (!device->hostHandle_.IsValid()) {
            return nullptr;
        }
    }
    return device;
}

SimulatedHidDevice::SimulatedHidDevice(SensorStore store, const SensorState& state, Access access,
                                       std::optional<std::size_t> collection)
    : store_(std::move(store)),
      serial_(state.serial),
      instance_(state.instance),
      generation_(state.generation),
      access_(access),
      collection_(collection)
{
}

std::optional<io::HidCapabilities> SimulatedHidDevice::Capabilities() const
{
    const auto state = Current();
    if (!state || state->capabilitiesUnreadable) {
        return std::nullopt;
    }
    const std::size_t index = collection_.value_or(SensorCollections::Configuration(state->collections).value_or(0));
    const SensorCollection& collection = state->collections.at(index);
    if (!collection.configuration) {
        return io::HidCapabilities{collection.usagePage, collection.usage, SensorCollections::kOtherInputBytes + 1, 0,
                                   0};
    }
    return io::HidCapabilities{state->usagePage, state->usage, kInputReportLength, kOutputReportLength,
                               static_cast<std::uint16_t>(collection.featureBytes + 1)};
}

std::optional<std::string> SimulatedHidDevice::ManufacturerString() const
{
    const auto state = Current();
    return state ? std::optional<std::string>(state->manufacturer) : std::nullopt;
}

std::optional<std::string> SimulatedHidDevice::ProductString() const
{
    const auto state = Current();
    return state ? std::optional<std::string>(state->product) : std::nullopt;
}

std::optional<std::string> SimulatedHidDevice::SerialNumberString() const
{
    const auto state = Current();
    if (!state || state->serialStringFails) {
        return std::nullopt;
    }
    return state->serial;
}

bool SimulatedHidDevice::SetFeature(const std::uint8_t* report, std::size_t length)
{
    if (access_ != Access::ReadWrite || report == nullptr || length == 0 || length > kFeatureReportLength) {
        return false;
    }
    const auto state = Current();
    if (!state || !HasFeatureReport(*state, report[0])) {
        return false;
    }
    const FeatureRequest request = FeatureReports::Classify(report, length);
    if (request == FeatureRequest::SwitchToDfu) {
        return SwitchToDfu();
    }
    if (request == FeatureRequest::Unknown) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    answer_.clear();
    if (!state->silent) {
        answer_ = request == FeatureRequest::PlatformInformation ? InformationAnswers::Platform(*state)
                                                                 : InformationAnswers::Device(*state);
    }
    return true;
}

std::optional<std::size_t> SimulatedHidDevice::GetFeature(std::uint8_t* report, std::size_t length)
{
    if (access_ != Access::ReadWrite || report == nullptr || length < 2 || length > kFeatureReportLength ||
        report[0] != FeatureReports::kAnswerReportId) {
        return std::nullopt;
    }
    const auto state = Current();
    if (!state || !HasFeatureReport(*state, report[0])) {
        return std::nullopt;
    }
    const SensorCollection& configuration = state->collections[*SensorCollections::Configuration(state->collections)];
    const std::size_t sent = std::min<std::size_t>(length, configuration.featureBytes + 1u);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!FeatureReports::FillAnswer(answer_, report, sent)) {
        return std::nullopt;
    }
    std::fill(report + sent, report + length, 0);
    return sent;
}

std::optional<SensorState> SimulatedHidDevice::Current() const
{
    auto state = store_.Load(serial_);
    if (!state || !IsMine(*state)) {
        return std::nullopt;
    }
    return state;
}

bool SimulatedHidDevice::IsMine(const SensorState& state) const
{
    return state.instance == instance_ && state.generation == generation_ && state.mode == SensorMode::Normal &&
           state.IsPresent(WallClock::NowMs());
}

bool SimulatedHidDevice::HasFeatureReport(const SensorState& state, std::uint8_t reportId) const
{
    const std::optional<std::size_t> configuration = SensorCollections::Configuration(state.collections);
    if (!configuration || (collection_ && *collection_ != *configuration)) {
        return false;
    }
    return std::find(std::begin(kSensorReportIds), std::end(kSensorReportIds), reportId) != std::end(kSensorReportIds);
}

bool SimulatedHidDevice::SwitchToDfu()
{
    BusLock lock(store_.Folder());
    auto state = store_.Load(serial_);
    if (!lock.IsHeld() || !state || !IsMine(*state)) {
        return false;
    }
    state->Reenumerate(SensorMode::Dfu, WallClock::NowMs());
    return store_.Save(*state);
}

}  // namespace tarnix::sim
