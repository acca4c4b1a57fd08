#include "core/SingleInstanceGuard.h"

#include "platform/NamedMutex.h"

SingleInstanceGuard::SingleInstanceGuard(const char* name)
    : mutexHandle(std::make_unique<tarnix::platform::NamedMutex>(name != nullptr ? name : ""))
{
    if (mutexHandle->AlreadyExisted()) {
        firstInstance = false;
    }
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

bool SingleInstanceGuard::IsFirstInstance() const { return firstInstance; }
