#pragma once

#include "gui/TouchAreaSensorPosition.h"

// The sensor sits at the bottom edge of the touch surface: the area above, the body below it.
class TouchAreaSensorPositionBottom final : public TouchAreaSensorPosition {
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
