#include "core/Parameters.h"

#include <tuple>

// The value pairs compare their values; the table records compare along their field lists (ParameterWalks.cpp).

bool Vec2::operator==(const Vec2& other) const { return std::tie(x, y) == std::tie(other.x, other.y); }

bool SnappingDistance::operator==(const SnappingDistance& other) const
{
    return std::tie(inner, outer) == std::tie(other.inner, other.outer);
}
