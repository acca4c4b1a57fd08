#pragma once

#include <cstdint>
#include <optional>

// The in-memory form of a sensor's persistent parameters. Every table of the parameter buffer has a record
// here and every member is optional: an empty member is "not set", it is left out of the buffer and out of
// JSON files, and combining records copies only members that are set. The records own their values, so a
// copy is always independent of the original. Reading and writing goes through Serialization; comparing
// and combining whole records walks their field lists (ParameterWalks).

// A pair of coordinates or sizes. The buffer stores 16 bits per value; memory holds 32 bits so that callers
// can hold any entered value (writing keeps the low 16 bits, reading sign-extends).
struct Vec2 {
    int32_t x = 0;
    int32_t y = 0;

    bool operator==(const Vec2& other) const;
    bool operator!=(const Vec2& other) const { return !(*this == other); }
};

// Inner and outer snapping distance at one edge.
struct SnappingDistance {
    uint16_t inner = 0;
    uint16_t outer = 0;

    bool operator==(const SnappingDistance& other) const;
    bool operator!=(const SnappingDistance& other) const { return !(*this == other); }
};

// The part of the sensor's field that reports touches, and how coordinates are mapped.
struct SubTouchActiveArea {
    std::optional<Vec2> min;
    std::optional<Vec2> max;
    std::optional<bool> reverseX;
    std::optional<bool> reverseY;
    std::optional<bool> flipXY;
    std::optional<Vec2> offset;

    bool operator==(const SubTouchActiveArea& other) const;
    bool operator!=(const SubTouchActiveArea& other) const { return !(*this == other); }
};

// Limits on the size of the objects that are reported.
struct SizeRestriction {
    std::optional<bool> maxSizeEnabled;
    std::optional<uint16_t> maxSize;
    std::optional<bool> minSizeEnabled;
    std::optional<uint16_t> minSize;

    bool operator==(const SizeRestriction& other) const;
    bool operator!=(const SizeRestriction& other) const { return !(*this == other); }
};

// Pending-down protection against objects hovering over the surface.
struct FloatingProtection {
    std::optional<bool> enabled;
    std::optional<uint16_t> time;

    bool operator==(const FloatingProtection& other) const;
    bool operator!=(const FloatingProtection& other) const { return !(*this == other); }
};

// The sensor's optics, used internally by the sensor.
struct Geometry {
    std::optional<uint8_t> sourceCount;
    std::optional<uint8_t> sensorCount;
    std::optional<uint8_t> peakCount;

    bool operator==(const Geometry& other) const;
    bool operator!=(const Geometry& other) const { return !(*this == other); }
};

// A touch reported as a complete click.
struct ClickOnTouch {
    std::optional<bool> enabled;
    std::optional<uint16_t> timeToUp;
    std::optional<uint16_t> distance;

    bool operator==(const ClickOnTouch& other) const;
    bool operator!=(const ClickOnTouch& other) const { return !(*this == other); }
};

// Coordinates near the edges are pulled onto the edge.
struct SnappingFilter {
    std::optional<bool> enabled;
    std::optional<SnappingDistance> left;
    std::optional<SnappingDistance> right;
    std::optional<SnappingDistance> top;
    std::optional<SnappingDistance> bottom;

    bool operator==(const SnappingFilter& other) const;
    bool operator!=(const SnappingFilter& other) const { return !(*this == other); }
};

// Two clicks close together in time and place are reported as one.
struct DoubleClickPrevention {
    std::optional<bool> enabled;
    std::optional<uint16_t> preventionTime;
    std::optional<uint16_t> preventionRadius;

    bool operator==(const DoubleClickPrevention& other) const;
    bool operator!=(const DoubleClickPrevention& other) const { return !(*this == other); }
};

// Touch processing settings.
struct DeviceConfiguration {
    std::optional<SubTouchActiveArea> subTouchActiveArea;
    std::optional<SizeRestriction> sizeRestriction;
    std::optional<bool> reflectiveEdge;
    std::optional<uint8_t> numberOfReportedTouches;
    std::optional<Vec2> hidDisplaySize;
    std::optional<FloatingProtection> floatingProtection;
    std::optional<ClickOnTouch> clickOnTouch;
    std::optional<SnappingFilter> snappingFilter;
    std::optional<DoubleClickPrevention> doubleClickPrevention;

    bool operator==(const DeviceConfiguration& other) const;
    bool operator!=(const DeviceConfiguration& other) const { return !(*this == other); }
};

// Operation modes of the sensor.
struct OperationMode {
    std::optional<bool> detection;
    std::optional<bool> detectionHid;

    bool operator==(const OperationMode& other) const;
    bool operator!=(const OperationMode& other) const { return !(*this == other); }
};

// The root record: everything a sensor keeps in its parameter area.
struct Parameters {
    std::optional<Geometry> geometry;
    std::optional<DeviceConfiguration> deviceConfiguration;
    std::optional<int16_t> fingerFrequency;
    std::optional<int16_t> idleFrequency;
    std::optional<uint8_t> i2cAddress;
    std::optional<bool> systemEnabled;
    std::optional<OperationMode> operationMode;

    bool operator==(const Parameters& other) const;
    bool operator!=(const Parameters& other) const { return !(*this == other); }
};
