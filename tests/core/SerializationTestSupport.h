#pragma once

#include "core/Parameters.h"

namespace SerializationTestSupport {

// A record with every member set, each to a distinct value, zeros and falses included.
inline Parameters FullRecord()
{
    Parameters p;
    p.geometry = Geometry{uint8_t{12}, uint8_t{34}, uint8_t{5}};
    DeviceConfiguration c;
    c.subTouchActiveArea = SubTouchActiveArea{Vec2{1, 2}, Vec2{32767, -32768}, true, false, true, Vec2{-5, 7}};
    c.sizeRestriction = SizeRestriction{true, uint16_t{65535}, false, uint16_t{0}};
    c.reflectiveEdge = false;
    c.numberOfReportedTouches = 10;
    c.hidDisplaySize = Vec2{1920, 1080};
    c.floatingProtection = FloatingProtection{true, uint16_t{250}};
    c.clickOnTouch = ClickOnTouch{false, uint16_t{300}, uint16_t{40}};
    c.snappingFilter = SnappingFilter{true, SnappingDistance{1, 2}, SnappingDistance{3, 4}, SnappingDistance{5, 6},
                                      SnappingDistance{7, 65535}};
    c.doubleClickPrevention = DoubleClickPrevention{true, uint16_t{500}, uint16_t{60}};
    p.deviceConfiguration = c;
    p.fingerFrequency = -300;
    p.idleFrequency = 0;
    p.i2cAddress = 0x48;
    p.systemEnabled = true;
    p.operationMode = OperationMode{false, true};
    return p;
}

}  // namespace SerializationTestSupport
