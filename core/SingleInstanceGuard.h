#pragma once

#include <memory>

namespace tarnix::platform {
class NamedMutex;
}

// Holds a system-wide named mutex for as long as it lives and tells whether this process made it first.
// Both programs make one with kProgramMutexName first thing and keep it until they return, so only one of
// them runs per machine at a time.
class SingleInstanceGuard {
public:
    // The name both programs share; "Global\" puts it in the machine-wide namespace.
    static constexpr const char* kProgramMutexName = "Global\\MorvelDeskvaneAndReflashor";

    // Creates or opens the named mutex and records whether it already existed.
    explicit SingleInstanceGuard(const char* name);
    // Closes the mutex; when this guard was first, the next program to start is first again.
    ~SingleInstanceGuard();

    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // False when another holder had the mutex already; a creation that failed otherwise counts as first.
    bool IsFirstInstance() const;

private:
    bool firstInstance = true;
    std::unique_ptr<tarnix::platform::NamedMutex> mutexHandle;
};
