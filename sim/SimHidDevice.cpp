#include "sim/SimHidDevice.h"

#include "sim/BusLock.h"
#include "sim/FeatureReports.h"
#include "sim/InformationAnswers.h"
#include "sim/WallClock.h"

namespace tarnix::sim {

namespace {

constexpr std::uint16_t kInputReportLength = 64;
constexpr std::uint16_t kOutputReportLength = 64;

}  // namespace

std::unique_ptr<SimHidDevice> SimHidDevice::Open(const std::string& devicePath, Access access) {
    SensorStore store;
    const std::int64_t now = WallClock::NowMs();
    for (const SensorState& state : store.LoadAll()) {
        if (state.mode != SensorMode::Normal || !state.IsPresent(now) || state.DevicePath() != devicePath) {
            continue;
        }
        if (access == Access::ReadWrite && state.openFails) {
            return nullptr;
        }
        return std::make_unique<SimHidDevice>(store, state, access);
    }
    return nullptr;
}

SimHidDevice::SimHidDevice(SensorStore store, const SensorState& state, Access access)
    : store_(std::move(store)),
      serial_(state.serial),
      instance_(state.instance),
      generation_(state.generation),
      access_(access) {}

bool SimHidDevice::GetCapabilities(HidCapabilities& capabilities) const {
    const auto state = Current();
    if (!state) {
        return false;
    }
    capabilities = HidCapabilities{state->usagePage, state->usage, kInputReportLength, kOutputReportLength,
                                   kFeatureReportLength};
    return true;
}

bool SimHidDevice::GetManufacturer(std::string& text) const {
    const auto state = Current();
    if (state) {
        text = state->manufacturer;
    }
    return state.has_value();
}

bool SimHidDevice::GetProduct(std::string& text) const {
    const auto state = Current();
    if (state) {
        text = state->product;
    }
    return state.has_value();
}

bool SimHidDevice::GetSerialNumber(std::string& text) const {
    const auto state = Current();
    if (state) {
        text = state->serial;
    }
    return state.has_value();
}

bool SimHidDevice::SetFeature(const std::uint8_t* report, std::size_t length) {
    if (access_ != Access::ReadWrite || report == nullptr || length == 0 || length > kFeatureReportLength) {
        return false;
    }
    const FeatureRequest request = FeatureReports::Classify(report, length);
    if (request == FeatureRequest::SwitchToDfu) {
        return SwitchToDfu();
    }
    const auto state = Current();
    if (!state || request == FeatureRequest::Unknown) {
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

bool SimHidDevice::GetFeature(std::uint8_t* report, std::size_t length) {
    if (access_ != Access::ReadWrite || report == nullptr || length < 2 || length > kFeatureReportLength ||
        report[0] != FeatureReports::kAnswerReportId || !Current()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return FeatureReports::FillAnswer(answer_, report, length);
}

std::optional<SensorState> SimHidDevice::Current() const {
    auto state = store_.Load(serial_);
    if (!state || !IsMine(*state)) {
        return std::nullopt;
    }
    return state;
}

bool SimHidDevice::IsMine(const SensorState& state) const {
    return state.instance == instance_ && state.generation == generation_ && state.mode == SensorMode::Normal &&
           state.IsPresent(WallClock::NowMs());
}

bool SimHidDevice::SwitchToDfu() {
    BusLock lock(store_.Folder());
    auto state = store_.Load(serial_);
    if (!lock.IsHeld() || !state || !IsMine(*state)) {
        return false;
    }
    state->Reenumerate(SensorMode::Dfu, WallClock::NowMs());
    return store_.Save(*state);
}

}  // namespace tarnix::sim
