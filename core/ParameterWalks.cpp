#include "core/ParameterWalks.h"

#include "core/ParameterFields.h"

#include <type_traits>

namespace {

template <typename Record>
bool FieldsEqual(const Record& a, const Record& b)
{
    bool equal = true;
    ForEachParameterField<Record>([&](const auto& field) { equal = equal && a.*field.member == b.*field.member; });
    return equal;
}

template <typename Record>
void CombineFields(Record& target, const Record& source)
{
    ForEachParameterField<Record>([&](const auto& field) {
        auto& into = target.*field.member;
        const auto& from = source.*field.member;
        if constexpr (IsParameterTable<std::decay_t<decltype(*from)>>::value) {
            if (from) {
                CombineFields(into ? *into : into.emplace(), *from);
            }
        } else if (from) {
            into = from;
        }
    });
}

}  // namespace

void ParameterWalks::Combine(Parameters& target, const Parameters& source) { CombineFields(target, source); }

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
