#include "core/Parameters.h"

#include <tuple>

// Two records are equal when the same members are set and the set members hold equal values.

bool Vec2::operator==(const Vec2& other) const
{
    return std::tie(x, y) == std::tie(other.x, other.y);
}

bool SnappingDistance::operator==(const SnappingDistance& other) const
{
    return std::tie(inner, outer) == std::tie(other.inner, other.outer);
}

bool SubTouchActiveArea::operator==(const SubTouchActiveArea& other) const
{
    return std::tie(min, max, reverseX, reverseY, flipXY, offset) ==
           std::tie(other.min, other.max, other.reverseX, other.reverseY, other.flipXY, other.offset);
}

bool SizeRestriction::operator==(const SizeRestriction& other) const
{
    return std::tie(maxSizeEnabled, maxSize, minSizeEnabled, minSize) ==
           std::tie(other.maxSizeEnabled, other.maxSize, other.minSizeEnabled, other.minSize);
}

bool FloatingProtection::operator==(const FloatingProtection& other) const
{
    return std::tie(enabled, time) == std::tie(other.enabled, other.time);
}

bool Geometry::operator==(const Geometry& other) const
{
    return std::tie(sourceCount, sensorCount, peakCount) ==
           std::tie(other.sourceCount, other.sensorCount, other.peakCount);
}

bool ClickOnTouch::operator==(const ClickOnTouch& other) const
{
    return std::tie(enabled, timeToUp, distance) == std::tie(other.enabled, other.timeToUp, other.distance);
}

bool SnappingFilter::operator==(const SnappingFilter& other) const
{
    return std::tie(enabled, left, right, top, bottom) ==
           std::tie(other.enabled, other.left, other.right, other.top, other.bottom);
}

bool DoubleClickPrevention::operator==(const DoubleClickPrevention& other) const
{
    return std::tie(enabled, preventionTime, preventionRadius) ==
           std::tie(other.enabled, other.preventionTime, other.preventionRadius);
}

bool DeviceConfiguration::operator==(const DeviceConfiguration& other) const
{
    return std::tie(subTouchActiveArea, sizeRestriction, reflectiveEdge, numberOfReportedTouches, hidDisplaySize,
                    floatingProtection, clickOnTouch, snappingFilter, doubleClickPrevention) ==
           std::tie(other.subTouchActiveArea, other.sizeRestriction, other.reflectiveEdge,
                    other.numberOfReportedTouches, other.hidDisplaySize, other.floatingProtection,
                    other.clickOnTouch, other.snappingFilter, other.doubleClickPrevention);
}

bool OperationMode::operator==(const OperationMode& other) const
{
    return std::tie(detection, detectionHid) == std::tie(other.detection, other.detectionHid);
}

bool Parameters::operator==(const Parameters& other) const
{
    return std::tie(geometry, deviceConfiguration, fingerFrequency, idleFrequency, i2cAddress, systemEnabled,
                    operationMode) == std::tie(other.geometry, other.deviceConfiguration, other.fingerFrequency,
                                               other.idleFrequency, other.i2cAddress, other.systemEnabled,
                                               other.operationMode);
}
