#include "gui/TouchAreaSensorPositionBottom.h"

#include <QGraphicsRectItem>

#include <algorithm>
#include <cmath>

void TouchAreaSensorPositionBottom::UpdateScaling(double drawWidth, double drawHeight, double textWidth,
                                                  double textHeight, bool flipSensor)
{
    const Terms t = ComputeTerms(flipSensor);
    const double s = ScaleFactor(drawWidth, drawHeight, LabelAllowance(t.tw >= t.th, textWidth, textHeight),
                                 AcrossExtent(t), AlongExtent(t), true);
    const int x = t.areaOnly ? 0 : (t.front ? *areaMinX : t.sWv - *areaMaxX);
    SetScaledRect(touchAreaItem, s, x, 0, t.tw, t.th);
    SetScaledRect(sensorBodyItem, s, 0, t.bodyOffset, *sensorWidth, *sensorHeight);
    SetScaledRect(markerItem, s, t.front ? -markerWidth : *sensorWidth, t.sHv - markerLength + t.bodyOffset,
                  markerWidth, markerLength);
    PaintBody(t.front);
}

std::pair<double, double> TouchAreaSensorPositionBottom::GetSceneSize()
{
    const Extents e = GetExtents();
    const double height = (e.areaShown && e.bodyShown) ? e.bodyBottom : e.areaHeight + e.bodyHeight;
    return Truncated(std::max(e.areaRight, e.bodyWidth), height);
}

// Each corner of the area in the sensor's coordinates and the drawn corner where its label goes.

QPointF TouchAreaSensorPositionBottom::GetTopLeftTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, false, false, IsWideAlongX());
}

QPointF TouchAreaSensorPositionBottom::GetTopRightTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, true, false, IsWideAlongX());
}

QPointF TouchAreaSensorPositionBottom::GetBottomLeftTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, false, true, IsWideAlongX());
}

QPointF TouchAreaSensorPositionBottom::GetBottomRightTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, true, true, IsWideAlongX());
}
