#pragma once

#include "core/Parameters.h"
#include "core/tnxp_serialization_generated.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

// The members of every table record of Parameters.h, listed once: each member's name in the parameter schema,
// its slot in the buffer's table and the record's member. The code that builds and reads buffers, compares
// and combines records walks these lists; a field added to the schema is added to its record and here.
//
// A list is in the order the parameter buffer lays the table out (the first field added lies last in the
// table). Child tables are built before their parent, in the order of their childOrder.

template <typename Record, typename Value>
struct ParameterField {
    const char* name;
    flatbuffers::voffset_t slot;
    std::optional<Value> Record::*member;
    int childOrder;  // child tables only: the position among the table's children when they are built
};

template <typename Record, typename Value>
constexpr ParameterField<Record, Value> Field(const char* name, flatbuffers::voffset_t slot,
                                              std::optional<Value> Record::*member, int childOrder = 0)
{
    return {name, slot, member, childOrder};
}

// Specialised for each table record with `static constexpr auto list`, a tuple of its ParameterFields.
template <typename Record>
struct ParameterFields;

// True for the records that are tables of their own (and so have a field list).
template <typename Value, typename = void>
struct IsParameterTable : std::false_type {
};
template <typename Value>
struct IsParameterTable<Value, std::void_t<decltype(ParameterFields<Value>::list)>> : std::true_type {
};

// Calls visit(field) for every field of the record's list, in list order.
template <typename Record, typename Visit>
void ForEachParameterField(Visit&& visit)
{
    std::apply([&](const auto&... field) { (visit(field), ...); }, ParameterFields<Record>::list);
}

// The two halves of a pair value, in the order the pair holds them, by the names a path gives them
// ("deviceConfiguration.hidDisplaySize.x"). Specialised for each pair record.
template <typename Value>
struct ParameterPairHalves;

template <>
struct ParameterPairHalves<Vec2> {
    static constexpr std::array<const char*, 2> names{"x", "y"};
    static constexpr std::array<int32_t Vec2::*, 2> members{&Vec2::x, &Vec2::y};
};

template <>
struct ParameterPairHalves<SnappingDistance> {
    static constexpr std::array<const char*, 2> names{"inner", "outer"};
    static constexpr std::array<uint16_t SnappingDistance::*, 2> members{&SnappingDistance::inner,
                                                                         &SnappingDistance::outer};
};

// True for the pair records (two halves named in a path).
template <typename Value, typename = void>
struct IsParameterPair : std::false_type {
};
template <typename Value>
struct IsParameterPair<Value, std::void_t<decltype(ParameterPairHalves<Value>::names)>> : std::true_type {
};

// The position of the half of the pair that the name gives (0 or 1); none for a name the pair does not have.
template <typename Value>
std::optional<std::size_t> ParameterPairHalf(std::string_view name);

// Calls visit(member, half) with the record's member that a dotted schema path names
// ("deviceConfiguration.clickOnTouch.timeToUp"); a path names a pair value by one of its halves, which is handed
// on ("x" of "deviceConfiguration.hidDisplaySize.x"), every other value by its name alone (half is then empty).
// False, without a call, when the path names no such value: no member of that name, a half the pair does not
// have, anything after a value that is not a pair, or a child record on the way that is not set.
template <typename Record, typename Visit>
bool VisitParameterPath(Record& record, std::string_view path, Visit&& visit);

// Makes every child record of the tree present, leaving the values as they are.
template <typename Record>
void EmplaceParameterTables(Record& record);

template <typename Record>
constexpr std::size_t ParameterFieldCount = std::tuple_size_v<std::decay_t<decltype(ParameterFields<Record>::list)>>;

template <>
struct ParameterFields<SubTouchActiveArea> {
    using R = SubTouchActiveArea;
    using T = tnxp_serialization::SubTouchActiveArea;
    static constexpr auto list =
        std::make_tuple(Field("max", T::VT_MAX, &R::max), Field("min", T::VT_MIN, &R::min),
                        Field("offset", T::VT_OFFSET, &R::offset), Field("reverseX", T::VT_REVERSEX, &R::reverseX),
                        Field("reverseY", T::VT_REVERSEY, &R::reverseY), Field("flipXY", T::VT_FLIPXY, &R::flipXY));
};

template <>
struct ParameterFields<SizeRestriction> {
    using R = SizeRestriction;
    using T = tnxp_serialization::SizeRestriction;
    static constexpr auto list = std::make_tuple(Field("maxSizeEnabled", T::VT_MAXSIZEENABLED, &R::maxSizeEnabled),
                                                 Field("maxSize", T::VT_MAXSIZE, &R::maxSize),
                                                 Field("minSizeEnabled", T::VT_MINSIZEENABLED, &R::minSizeEnabled),
                                                 Field("minSize", T::VT_MINSIZE, &R::minSize));
};

template <>
struct ParameterFields<FloatingProtection> {
    using R = FloatingProtection;
    using T = tnxp_serialization::FloatingProtection;
    static constexpr auto list =
        std::make_tuple(Field("enabled", T::VT_ENABLED, &R::enabled), Field("time", T::VT_TIME, &R::time));
};

template <>
struct ParameterFields<Geometry> {
    using R = Geometry;
    using T = tnxp_serialization::Geometry;
    static constexpr auto list = std::make_tuple(Field("sourceCount", T::VT_SOURCECOUNT, &R::sourceCount),
                                                 Field("sensorCount", T::VT_SENSORCOUNT, &R::sensorCount),
                                                 Field("peakCount", T::VT_PEAKCOUNT, &R::peakCount));
};

template <>
struct ParameterFields<ClickOnTouch> {
    using R = ClickOnTouch;
    using T = tnxp_serialization::ClickOnTouch;
    static constexpr auto list =
        std::make_tuple(Field("enabled", T::VT_ENABLED, &R::enabled), Field("timeToUp", T::VT_TIMETOUP, &R::timeToUp),
                        Field("distance", T::VT_DISTANCE, &R::distance));
};

template <>
struct ParameterFields<SnappingFilter> {
    using R = SnappingFilter;
    using T = tnxp_serialization::SnappingFilter;
    static constexpr auto list =
        std::make_tuple(Field("enabled", T::VT_ENABLED, &R::enabled), Field("left", T::VT_LEFT, &R::left),
                        Field("right", T::VT_RIGHT, &R::right), Field("top", T::VT_TOP, &R::top),
                        Field("bottom", T::VT_BOTTOM, &R::bottom));
};

template <>
struct ParameterFields<DoubleClickPrevention> {
    using R = DoubleClickPrevention;
    using T = tnxp_serialization::DoubleClickPrevention;
    static constexpr auto list = std::make_tuple(
        Field("enabled", T::VT_ENABLED, &R::enabled), Field("preventionTime", T::VT_PREVENTIONTIME, &R::preventionTime),
        Field("preventionRadius", T::VT_PREVENTIONRADIUS, &R::preventionRadius));
};

template <>
struct ParameterFields<DeviceConfiguration> {
    using R = DeviceConfiguration;
    using T = tnxp_serialization::DeviceConfiguration;
    static constexpr auto list =
        std::make_tuple(Field("subTouchActiveArea", T::VT_SUBTOUCHACTIVEAREA, &R::subTouchActiveArea, 0),
                        Field("sizeRestriction", T::VT_SIZERESTRICTION, &R::sizeRestriction, 1),
                        Field("clickOnTouch", T::VT_CLICKONTOUCH, &R::clickOnTouch, 3),
                        Field("snappingFilter", T::VT_SNAPPINGFILTER, &R::snappingFilter, 4),
                        Field("doubleClickPrevention", T::VT_DOUBLECLICKPREVENTION, &R::doubleClickPrevention, 5),
                        Field("hidDisplaySize", T::VT_HIDDISPLAYSIZE, &R::hidDisplaySize),
                        Field("floatingProtection", T::VT_FLOATINGPROTECTION, &R::floatingProtection, 2),
                        Field("numberOfReportedTouches", T::VT_NUMBEROFREPORTEDTOUCHES, &R::numberOfReportedTouches),
                        Field("reflectiveEdge", T::VT_REFLECTIVEEDGE, &R::reflectiveEdge));
};

template <>
struct ParameterFields<OperationMode> {
    using R = OperationMode;
    using T = tnxp_serialization::OperationMode;
    static constexpr auto list = std::make_tuple(Field("detection", T::VT_DETECTION, &R::detection),
                                                 Field("detectionHid", T::VT_DETECTIONHID, &R::detectionHid));
};

template <>
struct ParameterFields<Parameters> {
    using R = Parameters;
    using T = tnxp_serialization::Parameters;
    static constexpr auto list =
        std::make_tuple(Field("deviceConfiguration", T::VT_DEVICECONFIGURATION, &R::deviceConfiguration, 0),
                        Field("geometry", T::VT_GEOMETRY, &R::geometry, 1),
                        Field("operationMode", T::VT_OPERATIONMODE, &R::operationMode, 2),
                        Field("fingerFrequency", T::VT_FINGERFREQUENCY, &R::fingerFrequency),
                        Field("idleFrequency", T::VT_IDLEFREQUENCY, &R::idleFrequency),
                        Field("i2cAddress", T::VT_I2CADDRESS, &R::i2cAddress),
                        Field("systemEnabled", T::VT_SYSTEMENABLED, &R::systemEnabled));
};

template <typename Value>
std::optional<std::size_t> ParameterPairHalf(std::string_view name)
{
    const auto& names = ParameterPairHalves<Value>::names;
    for (std::size_t half = 0; half < names.size(); ++half) {
        if (name == names[half]) {
            return half;
        }
    }
    return std::nullopt;
}

// Whether the rest of a path after a value that is not a table (none when the path ends at the value) names
// that value: one of its halves for a pair, nothing for any other value.
template <typename Value>
bool NamesParameterValue(const std::optional<std::string_view>& rest)
{
    if constexpr (IsParameterPair<Value>::value) {
        return rest && ParameterPairHalf<Value>(*rest).has_value();
    } else {
        return !rest;
    }
}

template <typename Record, typename Visit>
bool VisitParameterPath(Record& record, std::string_view path, Visit&& visit)
{
    const std::size_t dot = path.find('.');
    const std::string_view name = path.substr(0, dot);
    std::optional<std::string_view> rest;
    if (dot != std::string_view::npos) {
        rest = path.substr(dot + 1);
    }
    bool visited = false;
    ForEachParameterField<std::remove_const_t<Record>>([&](const auto& field) {
        if (name != field.name) {
            return;
        }
        auto& member = record.*field.member;
        using Value = std::decay_t<decltype(*member)>;
        if constexpr (IsParameterTable<Value>::value) {
            visited = member && rest && VisitParameterPath(*member, *rest, visit);
        } else if (NamesParameterValue<Value>(rest)) {
            visit(member, rest.value_or(std::string_view()));
            visited = true;
        }
    });
    return visited;
}

template <typename Record>
void EmplaceParameterTables(Record& record)
{
    ForEachParameterField<Record>([&](const auto& field) {
        auto& member = record.*field.member;
        if constexpr (IsParameterTable<std::decay_t<decltype(*member)>>::value) {
            EmplaceParameterTables(member ? *member : member.emplace());
        }
    });
}
