#pragma once

#include "gui/TouchAreaSensorPosition.h"

// The sensor sits at the right edge of the touch surface: the area on the left, the body to its
// right; the drawing is turned, so the sensor's X runs up.
class TouchAreaSensorPositionRight final : public TouchAreaSensorPosition {
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
