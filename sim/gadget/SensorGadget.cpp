#include "sim/gadget/SensorGadget.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "sim/sensor/BusConstants.h"
#include "sim/bus/SimError.h"
#include "sim/bus/WallClock.h"
#include "sim/gadget/DfuPersonality.h"
#include "sim/gadget/HidPersonality.h"

namespace tarnix::sim {

namespace {

constexpr const char* kGadgetName = "tarnix-sensor";
constexpr const char* kFunctionFsFolder = "/run/tarnix-gadget/ffs";
constexpr int kPollMs = 20;

std::string Describe(const ControlSetup& setup)
{
    char text[64];
    std::snprintf(text, sizeof text, "%02X %02X %04X %04X %u", setup.requestType, setup.request, setup.value,
                  setup.index, static_cast<unsigned>(setup.length));
    return text;
}

}  // namespace

SensorGadget::SensorGadget(SensorStore store, std::string serial, std::ostream& log)
    : store_(std::move(store)), serial_(std::move(serial)), log_(log), start_(std::chrono::steady_clock::now())
{
}

SensorGadget::~SensorGadget() = default;

void SensorGadget::Run(const std::atomic<bool>& stop)
{
    configfs_ = std::make_unique<ConfigfsGadget>(kGadgetName, kFunctionFsFolder, ConfigfsGadget::FirstUdc());
    Log("playing sensor " + serial_ + " of " + store_.Folder());
    while (!stop) {
        const auto state = store_.Load(serial_);
        if (!state) {
            Log("sensor " + serial_ + " was unplugged");
            break;
        }
        if (!state->IsPresent(WallClock::NowMs())) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            continue;
        }
        std::unique_ptr<BusPresence> presence = Appear(*state);
        Serve(*presence, *state, stop);
        presence.reset();
        Log("left the bus");
    }
    configfs_.reset();
}

std::unique_ptr<BusPresence> SensorGadget::Appear(const SensorState& state)
{
    std::unique_ptr<GadgetPersonality> personality;
    if (state.mode == SensorMode::Normal) {
        personality = std::make_unique<HidPersonality>(store_, state);
    } else {
        personality = std::make_unique<DfuPersonality>(store_, state);
    }
    const GadgetIds identity = personality->Identity();
    configfs_->SetIdentity(identity);
    ControlEndpoint endpoint(configfs_->OpenEndpointZero());
    if (!endpoint.WriteBlob(personality->FunctionDescriptors()) ||
        !endpoint.WriteBlob(personality->FunctionStrings())) {
        throw SimError(std::string("FunctionFS refused the function: ") + std::strerror(errno));
    }
    configfs_->Bind();
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04X:%04X", identity.vendorId, identity.productId);
    Log(std::string(ModeName(state.mode)) + " mode: on the bus as " + ids +
        (state.mode == SensorMode::Normal ? ", firmware " + state.firmware.ToString() : std::string()));
    return std::make_unique<BusPresence>(std::move(personality), std::move(endpoint), [this] {
        try {
            configfs_->Unbind();
        } catch (const SimError& error) {
            Log(error.what());
        }
    });
}

void SensorGadget::Serve(BusPresence& presence, const SensorState& state, const std::atomic<bool>& stop)
{
    while (!stop) {
        if (const auto setup = presence.Endpoint().NextRequest(kPollMs)) {
            Handle(presence, *setup);
        }
        if (!IsCurrent(state)) {
            return;
        }
    }
}

void SensorGadget::Handle(BusPresence& presence, const ControlSetup& setup)
{
    if (!setup.IsDeviceToHost() && setup.length > 0) {
        // Receiving the data stage acknowledges the request: a refusal that does not hang on the data comes
        // before it.
        if (const auto refusal = presence.Personality().AnswerBeforeData(setup)) {
            Log("request " + Describe(setup) + ": stalled before its data stage");
            presence.Endpoint().Finish(setup, *refusal);
            return;
        }
        // Otherwise the data stage must be received before the request can be judged.
        const auto data = presence.Endpoint().ReceiveData(setup);
        if (!data) {
            Log("request " + Describe(setup) + ": data stage failed: " + std::strerror(errno));
        } else if (presence.Personality().Answer(setup, *data).kind == ControlAnswer::Kind::Stall) {
            Log("request " + Describe(setup) + ": refused after its data stage was acknowledged");
        }
        return;
    }
    const ControlAnswer answer = presence.Personality().Answer(setup, {});
    if (answer.kind == ControlAnswer::Kind::Stall) {
        Log("request " + Describe(setup) + ": stalled");
    }
    if (!presence.Endpoint().Finish(setup, answer) && answer.kind != ControlAnswer::Kind::Stall) {
        Log("request " + Describe(setup) + ": answer failed: " + std::strerror(errno));
    }
}

bool SensorGadget::IsCurrent(const SensorState& attached) const
{
    const auto now = store_.Load(serial_);
    return now && now->instance == attached.instance && now->generation == attached.generation &&
           now->IsPresent(WallClock::NowMs());
}

void SensorGadget::Log(const std::string& text)
{
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%6lld.%03lld] ", static_cast<long long>(elapsed / 1000),
                  static_cast<long long>(elapsed % 1000));
    log_ << stamp << text << std::endl;
}

}  // namespace tarnix::sim
