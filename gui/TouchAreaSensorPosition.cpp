#include "gui/TouchAreaSensorPosition.h"

#include <QBrush>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>

#include <algorithm>
#include <cmath>
#include <optional>

TouchAreaSensorPosition::TouchAreaSensorPosition(QGraphicsRectItem* touchArea, QGraphicsRectItem* sensorBody,
                                                 QGraphicsRectItem* marker, int* minX, int* maxX, int* minY, int* maxY,
                                                 int* sensorWidth, int* sensorHeight)
    : touchAreaItem(touchArea),
      sensorBodyItem(sensorBody),
      markerItem(marker),
      areaMinX(minX),
      areaMaxX(maxX),
      areaMinY(minY),
      areaMaxY(maxY),
      sensorWidth(sensorWidth),
      sensorHeight(sensorHeight)
{
}

TouchAreaSensorPosition::Terms TouchAreaSensorPosition::ComputeTerms(bool flipSensor) const
{
    Terms terms;
    terms.tw = *areaMaxX - *areaMinX;
    terms.th = *areaMaxY - *areaMinY;
    terms.areaShown = touchAreaItem->isVisible();
    terms.bodyShown = sensorBodyItem->isVisible();
    terms.areaOnly = terms.areaShown && !terms.bodyShown;
    terms.sWv = terms.bodyShown ? *sensorWidth : 0;
    terms.sHv = terms.bodyShown ? *sensorHeight : 0;
    terms.left = terms.areaOnly ? *areaMinX : 0;
    terms.top = terms.areaOnly ? *areaMinY : 0;
    terms.front = !flipSensor;
    terms.bodyOffset = terms.areaShown ? terms.th + *areaMinY : 0;
    return terms;
}

double TouchAreaSensorPosition::ScaleFactor(double drawWidth, double drawHeight, double allowance, int across,
                                            int along, bool alongIsVertical)
{
    const double horizontalRoom = drawWidth - 2 * allowance;
    const double verticalRoom = drawHeight - 2 * allowance;
    const int horizontalExtent = alongIsVertical ? across : along;
    const int verticalExtent = alongIsVertical ? along : across;
    std::optional<double> scale;
    if (horizontalExtent > 0) {
        scale = horizontalRoom / horizontalExtent;
    }
    if (verticalExtent > 0) {
        const double vertical = verticalRoom / verticalExtent;
        scale = scale ? std::min(*scale, vertical) : vertical;
    }
    return scale.value_or(0.0);
}

double TouchAreaSensorPosition::LabelAllowance(bool wide, double textWidth, double textHeight)
{
    return wide ? textHeight : textWidth;
}

int TouchAreaSensorPosition::AcrossExtent(const Terms& terms) const
{
    return std::max(*areaMaxX - terms.left, terms.sWv);
}

int TouchAreaSensorPosition::AlongExtent(const Terms& terms) const { return *areaMaxY - terms.top + terms.sHv; }

void TouchAreaSensorPosition::SetScaledRect(QGraphicsRectItem* item, double s, double x, double y, double width,
                                            double height)
{
    item->setRect(x * s, y * s, width * s, height * s);
}

void TouchAreaSensorPosition::PaintBody(bool front)
{
    sensorBodyItem->setBrush(QBrush(front ? Qt::gray : Qt::black, Qt::SolidPattern));
}

TouchAreaSensorPosition::Extents TouchAreaSensorPosition::GetExtents() const
{
    Extents extents;
    extents.areaShown = touchAreaItem->isVisible();
    extents.bodyShown = sensorBodyItem->isVisible();
    const QRectF area = touchAreaItem->boundingRect();
    const QRectF body = sensorBodyItem->boundingRect();
    if (extents.areaShown) {
        extents.areaRight = area.x() + area.width();
        extents.areaBottom = area.y() + area.height();
        extents.areaHeight = area.height();
    }
    if (extents.bodyShown) {
        extents.bodyWidth = body.width();
        extents.bodyHeight = body.height();
        extents.bodyRight = body.x() + body.width();
        extents.bodyBottom = body.y() + body.height();
    }
    return extents;
}

std::pair<double, double> TouchAreaSensorPosition::Truncated(double width, double height)
{
    return {std::trunc(width), std::trunc(height)};
}

QPointF TouchAreaSensorPosition::LabelAt(QGraphicsSimpleTextItem* label, bool right, bool top, bool wide) const
{
    const QRectF area = touchAreaItem->boundingRect();
    const QRectF text = label->boundingRect();
    if (wide) {
        return {right ? area.right() - text.width() : area.left(), top ? area.top() - text.height() : area.bottom()};
    }
    return {right ? area.right() : area.left() - text.width(), top ? area.top() : area.bottom() - text.height()};
}

bool TouchAreaSensorPosition::IsWideAlongX() const { return *areaMaxX - *areaMinX >= *areaMaxY - *areaMinY; }

bool TouchAreaSensorPosition::IsWideAlongY() const { return *areaMaxY - *areaMinY >= *areaMaxX - *areaMinX; }
