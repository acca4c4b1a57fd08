#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnix::sim {

// The parameter buffer (identifier "QTXS", parameter schema 1.1) that a new sensor carries in its parameter
// page, built at build time from sim/factory_parameters.json.
extern const std::uint8_t kFactoryParameters[];
extern const std::size_t kFactoryParametersSize;

}  // namespace tarnix::sim
