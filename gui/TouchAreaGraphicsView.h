#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>

class QGraphicsRectItem;
class QGraphicsScene;
class QGraphicsSimpleTextItem;
class QGraphicsView;
class TouchAreaSensorPosition;
class TouchAreaSensorPositionBottom;
class TouchAreaSensorPositionLeft;
class TouchAreaSensorPositionRight;
class TouchAreaSensorPositionTop;

// The drawing of the visualizer: the touch active area as the parameter page gives its bounds, the physical
// sensor (body and orientation marker) when its size is known, and the area's four corner coordinates, for
// one of four mounting positions and either side up. The geometry of each position is a
// TouchAreaSensorPosition; this object owns the items and the numbers they read.
//
// The object itself is never shown: the widget to place into a layout is GetGraphicsView().
class TouchAreaGraphicsView : public QWidget {
    Q_OBJECT

public:
    TouchAreaGraphicsView(QWidget* parent, QSize size);
    ~TouchAreaGraphicsView() override;

    QGraphicsView* GetGraphicsView();

    // The bounds as the parameter page holds them; X is drawn 36 units to the left, where the sensor's
    // coordinates begin.
    void SetTouchActiveArea(int minX, int minY, int maxX, int maxY);
    void SetTouchActiveAreaOffset(int x, int y);
    void SetPhysicalSensorSize(int width, int height);
    void SetPhysicalSensorVisibility(bool visible);
    void SetTouchActiveAreaVisibility(bool visible);
    // Top -> Left -> Bottom -> Right -> Top.
    void RotateSensor();
    // Switches between back side up and front side up.
    void FlipSensor();
    // Stored only; the caller redraws with Update().
    void SetFlipXY(bool value);
    void SetReverseX(bool value);
    void SetReverseY(bool value);
    void Update();

    bool GetFlipSensor() const;
    QString GetCurrentSensorPositionText() const;
    static QString GetTextForPosition(int x, int y);

private:
    // One corner of the drawn area: its coordinate pair as the sensor reports it.
    struct CornerPair {
        int first;
        int second;
    };
    CornerPair GetCornerPair(bool right, bool bottom) const;
    void UpdateScaling();
    void UpdatePositions();

    QGraphicsScene* scene = nullptr;
    QGraphicsView* graphicsView = nullptr;
    QGraphicsRectItem* touchAreaItem = nullptr;
    QGraphicsRectItem* sensorBodyItem = nullptr;
    QGraphicsRectItem* markerItem = nullptr;
    QGraphicsSimpleTextItem* topLeftLabel = nullptr;
    QGraphicsSimpleTextItem* topRightLabel = nullptr;
    QGraphicsSimpleTextItem* bottomLeftLabel = nullptr;
    QGraphicsSimpleTextItem* bottomRightLabel = nullptr;
    std::unique_ptr<TouchAreaSensorPositionTop> positionTop;
    std::unique_ptr<TouchAreaSensorPositionBottom> positionBottom;
    std::unique_ptr<TouchAreaSensorPositionLeft> positionLeft;
    std::unique_ptr<TouchAreaSensorPositionRight> positionRight;
    TouchAreaSensorPosition* currentPosition = nullptr;
    double drawWidth = 0;
    double drawHeight = 0;
    bool flipXY = false;
    bool reverseX = false;
    bool reverseY = false;
    bool flipSensor = true;
    int areaMinX = 0;
    int areaMaxX = 0;
    int areaMinY = 0;
    int areaMaxY = 0;
    int areaWidth = 0;
    int areaHeight = 0;
    int areaOffsetX = 0;
    int areaOffsetY = 0;
    int sensorWidth = 0;
    int sensorHeight = 0;
};
