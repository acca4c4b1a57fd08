#pragma once

// An event receiver for model tests: it records every event with the time it arrived, from whichever thread
// fires it, and lets a test wait (with a time limit) until the record satisfies a condition.

#include "core/ApplicationModelEvents.h"
#include "core/TpError.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

enum class EventKind {
    NewDevice,
    DeviceDisconnected,
    ErrorConnecting,
    UpdateProgress,
    WriteFinished,
    BadFirmwareFile,
    FirmwareFileChecked,
    FailedFirmwareFileCheck,
    WriteFailed,
    LeaveDfuModeResult,
    IncompatibleDfuDrivers,
};

struct RecordedEvent {
    EventKind kind = EventKind::NewDevice;
    std::string text;         // device name, the error's message, or the checked path
    std::string description;  // of a new device
    bool flag = false;        // isDfu, willOverwritePersistentParameters, or succeeded
    int percent = 0;
    std::chrono::steady_clock::time_point at;
};

class RecordingReceiver : public ApplicationModelEvents {
public:
    using Events = std::vector<RecordedEvent>;
    using Hook = std::function<void(const RecordedEvent&)>;

    // Called on the firing thread before the event is recorded. Set it before the model starts a thread.
    void SetHook(Hook newHook) { hook = std::move(newHook); }

    void OnNewDevice(std::string name, std::string description, bool isDfu) override
    {
        RecordedEvent event = Make(EventKind::NewDevice, std::move(name));
        event.description = std::move(description);
        event.flag = isDfu;
        Record(std::move(event));
    }
    void OnDeviceDisconnected(std::string name) override
    {
        Record(Make(EventKind::DeviceDisconnected, std::move(name)));
    }
    void OnErrorConnectingToDevice(TpError::Exception& error) override
    {
        Record(Make(EventKind::ErrorConnecting, error.what()));
    }
    void OnUpdateProgress(int percent) override
    {
        RecordedEvent event = Make(EventKind::UpdateProgress);
        event.percent = percent;
        Record(std::move(event));
    }
    void OnWriteFirmwareFinished() override { Record(Make(EventKind::WriteFinished)); }
    void OnBadFirmwareFile() override { Record(Make(EventKind::BadFirmwareFile)); }
    void OnFirmwareFileChecked(bool willOverwritePersistentParameters, std::string& path) override
    {
        RecordedEvent event = Make(EventKind::FirmwareFileChecked, path);
        event.flag = willOverwritePersistentParameters;
        Record(std::move(event));
    }
    void OnFailedFirmwareFileCheck() override { Record(Make(EventKind::FailedFirmwareFileCheck)); }
    void OnWriteFirmwareFailed() override { Record(Make(EventKind::WriteFailed)); }
    void OnLeaveDfuModeResult(bool succeeded) override
    {
        RecordedEvent event = Make(EventKind::LeaveDfuModeResult);
        event.flag = succeeded;
        Record(std::move(event));
    }
    void OnIncompatibleDfuDrivers() override { Record(Make(EventKind::IncompatibleDfuDrivers)); }

    Events All() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return events;
    }

    Events Of(EventKind kind) const
    {
        Events selected;
        for (const RecordedEvent& event : All()) {
            if (event.kind == kind) {
                selected.push_back(event);
            }
        }
        return selected;
    }

    std::size_t Count(EventKind kind) const { return Of(kind).size(); }

    // True as soon as the record satisfies the predicate; false when the limit passed first.
    bool WaitUntil(const std::function<bool(const Events&)>& predicate, std::chrono::milliseconds limit) const
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, [&] { return predicate(events); });
    }

    bool WaitForCount(EventKind kind, std::size_t count, std::chrono::milliseconds limit) const
    {
        return WaitUntil([&](const Events& all) { return CountIn(all, kind) >= count; }, limit);
    }

    // Waits for the event of this kind naming the device (a new device or a disconnection).
    bool WaitForDevice(EventKind kind, const std::string& name, std::chrono::milliseconds limit) const
    {
        return WaitUntil(
            [&](const Events& all) {
                return std::any_of(all.begin(), all.end(),
                                   [&](const RecordedEvent& e) { return e.kind == kind && e.text == name; });
            },
            limit);
    }

    static std::size_t CountIn(const Events& all, EventKind kind)
    {
        return static_cast<std::size_t>(
            std::count_if(all.begin(), all.end(), [&](const RecordedEvent& e) { return e.kind == kind; }));
    }

private:
    static RecordedEvent Make(EventKind kind, std::string text = {})
    {
        RecordedEvent event;
        event.kind = kind;
        event.text = std::move(text);
        event.at = std::chrono::steady_clock::now();
        return event;
    }

    void Record(RecordedEvent event)
    {
        if (hook) {
            hook(event);
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            events.push_back(std::move(event));
        }
        changed.notify_all();
    }

    Hook hook;
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    Events events;
};
