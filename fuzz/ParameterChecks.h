#pragma once

#include "core/Serialization.h"
#include "core/TpError.h"
#include "fuzz/FuzzCheck.h"

#include <optional>

// Shared by the parameter fuzzers: reading a parameter area into a record without letting the refusal escape.
namespace fuzzcheck {

inline std::optional<Parameters> ReadArea(const unsigned char* area)
{
    Parameters record;
    try {
        Serialization::GetInstance().Deserialize(area, record, Serialization::ParameterAreaSize);
    } catch (const TpError::Exception&) {
        return std::nullopt;
    }
    return record;
}

}  // namespace fuzzcheck
