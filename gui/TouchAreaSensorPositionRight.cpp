#include "gui/TouchAreaSensorPositionRight.h"

#include <QGraphicsRectItem>

#include <algorithm>
#include <cmath>

void TouchAreaSensorPositionRight::UpdateScaling(double drawWidth, double drawHeight, double textWidth,
                                                 double textHeight, bool flipSensor)
{
    const Terms t = ComputeTerms(flipSensor);
    const double s = ScaleFactor(drawWidth, drawHeight, LabelAllowance(t.th >= t.tw, textWidth, textHeight),
                                 AcrossExtent(t), AlongExtent(t), false);
    const int y = t.areaOnly ? 0 : (t.front ? t.sWv - *areaMaxX : *areaMinX);
    SetScaledRect(touchAreaItem, s, 0, y, t.th, t.tw);
    SetScaledRect(sensorBodyItem, s, t.bodyOffset, 0, t.sHv, t.sWv);
    // The marker lands on whole scene units here.
    const double markerX = std::trunc((t.sHv - markerLength + t.bodyOffset) * s);
    const double markerY = std::trunc((t.front ? t.sWv : -markerWidth) * s);
    markerItem->setRect(markerX, markerY, markerLength * s, markerWidth * s);
    PaintBody(t.front);
}

std::pair<double, double> TouchAreaSensorPositionRight::GetSceneSize()
{
    const Extents e = GetExtents();
    const double width = (e.areaShown && e.bodyShown) ? e.bodyRight : e.areaRight + e.bodyWidth;
    return Truncated(width, std::max(e.areaBottom, e.bodyHeight));
}

// Each corner of the area in the sensor's coordinates and the drawn corner where its label goes.

QPointF TouchAreaSensorPositionRight::GetTopLeftTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, true, false, IsWideAlongY());
}

QPointF TouchAreaSensorPositionRight::GetTopRightTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, true, true, IsWideAlongY());
}

QPointF TouchAreaSensorPositionRight::GetBottomLeftTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, false, false, IsWideAlongY());
}

QPointF TouchAreaSensorPositionRight::GetBottomRightTextPosition(QGraphicsSimpleTextItem* label)
{
    return LabelAt(label, false, true, IsWideAlongY());
}
