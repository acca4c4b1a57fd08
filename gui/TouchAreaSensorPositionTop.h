#pragma once

#include "gui/TouchAreaSensorPosition.h"

// The sensor sits at the top edge of the touch surface: the body above, the area below it.
class TouchAreaSensorPositionTop final : public TouchAreaSensorPosition {
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
