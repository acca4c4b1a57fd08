#include "core/Parameters.h"

#include "core/ParameterFields.h"

#include <tuple>

// Two records are equal when the same members are set and the set members hold equal values.

bool Vec2::operator==(const Vec2& other) const { return std::tie(x, y) == std::tie(other.x, other.y); }

bool SnappingDistance::operator==(const SnappingDistance& other) const
{
    return std::tie(inner, outer) == std::tie(other.inner, other.outer);
}

namespace {

template <typename Record>
bool FieldsEqual(const Record& a, const Record& b)
{
    bool equal = true;
    ForEachParameterField<Record>([&](const auto& field) { equal = equal && a.*field.member == b.*field.member; });
    return equal;
}

}  // namespace

bool SubTouchActiveArea::operator==(const SubTouchActiveArea& other) const { return FieldsEqual(*this, other); }

bool SizeRestriction::operator==(const SizeRestriction& other) const { return FieldsEqual(*this, other); }

bool FloatingProtection::operator==(const FloatingProtection& other) const { return FieldsEqual(*this, other); }

bool Geometry::operator==(const Geometry& other) const { return FieldsEqual(*this, other); }

bool ClickOnTouch::operator==(const ClickOnTouch& other) const { return FieldsEqual(*this, other); }

bool SnappingFilter::operator==(const SnappingFilter& other) const { return FieldsEqual(*this, other); }

bool DoubleClickPrevention::operator==(const DoubleClickPrevention& other) const { return FieldsEqual(*this, other); }

bool DeviceConfiguration::operator==(const DeviceConfiguration& other) const { return FieldsEqual(*this, other); }

bool OperationMode::operator==(const OperationMode& other) const { return FieldsEqual(*this, other); }

bool Parameters::operator==(const Parameters& other) const { return FieldsEqual(*this, other); }
