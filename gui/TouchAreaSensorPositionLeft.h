#pragma once

#include "gui/TouchAreaSensorPosition.h"

// The sensor sits at the left edge of the touch surface: the body on the left, the area to its right;
// the drawing is turned, so the sensor's X runs down.
class TouchAreaSensorPositionLeft final : public TouchAreaSensorPosition {
public:
    using TouchAreaSensorPosition::TouchAreaSensorPosition;

    void UpdateScaling(double drawWidth, double drawHeight, double textWidth, double textHeight,
                       bool flipSensor) override;
    std::pair<double, double> GetSceneSize() override;
    QPointF GetTopLeftTextPosition(QGraphicsSimpleTextItem* label) override;
    QPointF GetTopRightTextPosition(QGraphicsSimpleTextItem* label) override;
    QPointF GetBottomLeftTextPosition(QGraphicsSimpleTextItem* label) override;
    QPointF GetBottomRightTextPosition(QGraphicsSimpleTextItem* label) override;
};
