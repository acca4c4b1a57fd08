#include "gui/TouchAreaSensorPositionTop.h"

#include <QGraphicsRectItem>

#include <algorithm>

void TouchAreaSensorPositionTop::UpdateScaling(double drawWidth, double drawHeight, double textWidth, double textHeight,
                                               bool flipSensor)
{
    const Terms t = ComputeTerms(flipSensor);
    const double s = ScaleFactor(drawWidth, drawHeight, LabelAllowance(t.tw >= t.th, textWidth, textHeight),
                                 AcrossExtent(t), AlongExtent(t), true);
    const int x = t.areaOnly ? 0 : (t.front ? t.sWv - *areaMaxX : *areaMinX);
    SetScaledRect(touchAreaItem, s, x, t.sHv + (t.areaOnly ? 0 : *areaMinY), t.tw, t.th);
    SetScaledRect(sensorBodyItem, s, 0, 0, *sensorWidth, *sensorHeight);
    SetScaledRect(markerItem, s, t.front ? *sensorWidth : -markerWidth, 0, markerWidth, markerLength);
    PaintBody(t.front);
}

std::pair<double, double> TouchAreaSensorPositionTop::GetSceneSize()
{
    const Extents e = GetExtents();
    return Truncated(std::max(e.areaRight, e.bodyWidth), e.areaBottom + e.bodyHeight);
}

// Each corner of the area in the sensor's coordinates and the drawn corner where its label goes.

QPointF TouchAreaSensorPositionTop::GetTopLeftTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, true, true, IsWideAlongX());
}

QPointF TouchAreaSensorPositionTop::GetTopRightTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, false, true, IsWideAlongX());
}

QPointF TouchAreaSensorPositionTop::GetBottomLeftTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, true, false, IsWideAlongX());
}

QPointF TouchAreaSensorPositionTop::GetBottomRightTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, false, false, IsWideAlongX());
}
