#pragma once

#include <stdexcept>
#include <string>

namespace tarnix::sim {

// A refused bus operation (unknown serial, bad argument, unreadable file ...): one line for the user.
class SimError : public std::runtime_error {
public:
    explicit SimError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tarnix::sim
