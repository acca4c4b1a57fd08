#include "gui/TouchAreaSensorPositionLeft.h"

#include <QGraphicsRectItem>

#include <algorithm>

void TouchAreaSensorPositionLeft::UpdateScaling(double drawWidth, double drawHeight, double textWidth,
                                                double textHeight, bool flipSensor)
{
    const Terms t = ComputeTerms(flipSensor);
    const double s = ScaleFactor(drawWidth, drawHeight, LabelAllowance(t.th >= t.tw, textWidth, textHeight),
                                 AcrossExtent(t), AlongExtent(t), false);
    const int y = t.areaOnly ? 0 : (t.front ? *areaMinX : t.sWv - *areaMaxX);
    SetScaledRect(touchAreaItem, s, t.sHv + (t.areaOnly ? 0 : *areaMinY), y, t.th, t.tw);
    SetScaledRect(sensorBodyItem, s, 0, 0, t.sHv, t.sWv);
    SetScaledRect(markerItem, s, 0, t.front ? -markerWidth : t.sWv, markerLength, markerWidth);
    PaintBody(t.front);
}

std::pair<double, double> TouchAreaSensorPositionLeft::GetSceneSize()
{
    const Extents e = GetExtents();
    return Truncated(e.areaRight + e.bodyWidth, std::max(e.areaBottom, e.bodyHeight));
}

// Each corner of the area in the sensor's coordinates and the drawn corner where its label goes.

QPointF TouchAreaSensorPositionLeft::GetTopLeftTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, false, true, IsWideAlongY());
}

QPointF TouchAreaSensorPositionLeft::GetTopRightTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, false, false, IsWideAlongY());
}

QPointF TouchAreaSensorPositionLeft::GetBottomLeftTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, true, true, IsWideAlongY());
}

QPointF TouchAreaSensorPositionLeft::GetBottomRightTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, true, false, IsWideAlongY());
}
