#pragma once

#include <functional>
#include <memory>

#include "sim/gadget/ControlEndpoint.h"
#include "sim/gadget/GadgetPersonality.h"

namespace tarnix::sim {

// The sensor on the bus in one personality: the personality, the endpoint zero it answers on, and what
// takes it off the bus again, which runs when the presence ends (before endpoint zero closes).
class BusPresence {
public:
    BusPresence(std::unique_ptr<GadgetPersonality> personality, ControlEndpoint endpoint, std::function<void()> leave)
        : personality_(std::move(personality)), endpoint_(std::move(endpoint)), leave_(std::move(leave))
    {
    }
    ~BusPresence()
    {
        if (leave_) {
            leave_();
        }
    }
    BusPresence(const BusPresence&) = delete;
    BusPresence& operator=(const BusPresence&) = delete;

    GadgetPersonality& Personality() { return *personality_; }
    ControlEndpoint& Endpoint() { return endpoint_; }

private:
    std::unique_ptr<GadgetPersonality> personality_;
    ControlEndpoint endpoint_;
    std::function<void()> leave_;
};

}  // namespace tarnix::sim
