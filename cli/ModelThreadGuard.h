#pragma once

class ApplicationModel;

// Ends one of the model's threads when it goes out of scope, so that a command that leaves early, also by an
// exception, never leaves a thread running when the model is destroyed. Made right after the thread was
// started (or, for the download threads, before the call that may start them: ending them when none was
// started only clears the model's flag).
class ModelThreadGuard {
public:
    using EndOperation = void (ApplicationModel::*)();

    ModelThreadGuard(ApplicationModel& model, EndOperation end);
    ~ModelThreadGuard();

    ModelThreadGuard(const ModelThreadGuard&) = delete;
    ModelThreadGuard& operator=(const ModelThreadGuard&) = delete;

    // Ends the thread now; later calls and the destructor do nothing more.
    void End();

private:
    ApplicationModel& model;
    EndOperation end;
    bool ended = false;
};
