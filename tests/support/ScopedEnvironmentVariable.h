#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace tarnix::test {

// Sets an environment variable of this process while the object lives and gives it back its earlier value
// afterwards (or removes it when it had none). Programs started meanwhile inherit the setting.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(std::string name, const std::string& value) : name_(std::move(name))
    {
        const char* previous = std::getenv(name_.c_str());
        if (previous != nullptr) {
            previous_ = previous;
        }
        ::setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedEnvironmentVariable()
    {
        if (previous_) {
            ::setenv(name_.c_str(), previous_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace tarnix::test
