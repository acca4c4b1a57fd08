#include "gui/TouchAreaGraphicsView.h"

#include "gui/TouchAreaSensorPositionBottom.h"
#include "gui/TouchAreaSensorPositionLeft.h"
#include "gui/TouchAreaSensorPositionRight.h"
#include "gui/TouchAreaSensorPositionTop.h"

#include <QBrush>
#include <QColor>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsView>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace {

// The X bounds of the parameter page count from the sensor's edge, 36 units before its first coordinate.
constexpr int boundXOrigin = 36;
constexpr double drawShare = 0.95;

QGraphicsRectItem* AddRect(QGraphicsScene* scene, const QPen& pen, const QBrush& brush)
{
    QGraphicsRectItem* item = scene->addRect(QRectF(), pen, brush);
    item->hide();
    return item;
}

QGraphicsSimpleTextItem* AddLabel(QGraphicsScene* scene)
{
    QGraphicsSimpleTextItem* label = scene->addSimpleText(QString());
    label->setBrush(QBrush(QColor(90, 90, 255), Qt::SolidPattern));
    label->hide();
    return label;
}

}  // namespace

TouchAreaGraphicsView::TouchAreaGraphicsView(QWidget* parent, QSize size) : QWidget(parent)
{
    // Only the graphics view is shown; this object would otherwise sit as an empty child on the page.
    setVisible(false);
    scene = new QGraphicsScene(this);
    graphicsView = new QGraphicsView(scene, parent);

    const QPen pen(Qt::black, 0);
    touchAreaItem = AddRect(scene, pen, QBrush(QColor("blue").lighter(150), Qt::SolidPattern));
    sensorBodyItem = AddRect(scene, pen, QBrush(Qt::gray, Qt::SolidPattern));
    markerItem = AddRect(scene, pen, QBrush(Qt::gray, Qt::SolidPattern));
    drawWidth = drawShare * size.width();
    drawHeight = drawShare * size.height();
    topLeftLabel = AddLabel(scene);
    topRightLabel = AddLabel(scene);
    bottomLeftLabel = AddLabel(scene);
    bottomRightLabel = AddLabel(scene);

    graphicsView->setMinimumSize(size);
    graphicsView->setRenderHint(QPainter::Antialiasing);
    graphicsView->updateGeometry();
    graphicsView->show();

    positionTop =
        std::make_unique<TouchAreaSensorPositionTop>(touchAreaItem, sensorBodyItem, markerItem, &areaMinX, &areaMaxX,
                                                     &areaMinY, &areaMaxY, &sensorWidth, &sensorHeight);
    positionBottom =
        std::make_unique<TouchAreaSensorPositionBottom>(touchAreaItem, sensorBodyItem, markerItem, &areaMinX, &areaMaxX,
                                                        &areaMinY, &areaMaxY, &sensorWidth, &sensorHeight);
    positionLeft =
        std::make_unique<TouchAreaSensorPositionLeft>(touchAreaItem, sensorBodyItem, markerItem, &areaMinX, &areaMaxX,
                                                      &areaMinY, &areaMaxY, &sensorWidth, &sensorHeight);
    positionRight =
        std::make_unique<TouchAreaSensorPositionRight>(touchAreaItem, sensorBodyItem, markerItem, &areaMinX, &areaMaxX,
                                                       &areaMinY, &areaMaxY, &sensorWidth, &sensorHeight);
    currentPosition = positionTop.get();
}

TouchAreaGraphicsView::~TouchAreaGraphicsView() = default;

QGraphicsView* TouchAreaGraphicsView::GetGraphicsView() { return graphicsView; }

void TouchAreaGraphicsView::SetTouchActiveArea(int minX, int minY, int maxX, int maxY)
{
    areaMinX = minX - boundXOrigin;
    areaMaxX = maxX - boundXOrigin;
    areaMinY = minY;
    areaMaxY = maxY;
    Update();
}

void TouchAreaGraphicsView::SetTouchActiveAreaOffset(int x, int y)
{
    areaOffsetX = x;
    areaOffsetY = y;
    Update();
}

void TouchAreaGraphicsView::SetPhysicalSensorSize(int width, int height)
{
    sensorWidth = width;
    sensorHeight = height;
    Update();
}

void TouchAreaGraphicsView::SetPhysicalSensorVisibility(bool visible)
{
    sensorBodyItem->setVisible(visible);
    markerItem->setVisible(visible);
    Update();
}

void TouchAreaGraphicsView::SetTouchActiveAreaVisibility(bool visible)
{
    touchAreaItem->setVisible(visible);
    for (QGraphicsSimpleTextItem* label : {topLeftLabel, topRightLabel, bottomLeftLabel, bottomRightLabel}) {
        label->setVisible(visible);
    }
    Update();
}

void TouchAreaGraphicsView::RotateSensor()
{
    if (currentPosition == positionTop.get()) {
        currentPosition = positionLeft.get();
    } else if (currentPosition == positionLeft.get()) {
        currentPosition = positionBottom.get();
    } else if (currentPosition == positionBottom.get()) {
        currentPosition = positionRight.get();
    } else {
        currentPosition = positionTop.get();
    }
    Update();
}

void TouchAreaGraphicsView::FlipSensor()
{
    flipSensor = !flipSensor;
    Update();
}

void TouchAreaGraphicsView::SetFlipXY(bool value) { flipXY = value; }

void TouchAreaGraphicsView::SetReverseX(bool value) { reverseX = value; }

void TouchAreaGraphicsView::SetReverseY(bool value) { reverseY = value; }

void TouchAreaGraphicsView::Update()
{
    areaWidth = areaMaxX - areaMinX;
    areaHeight = areaMaxY - areaMinY;
    UpdateScaling();
    UpdatePositions();
}

bool TouchAreaGraphicsView::GetFlipSensor() const { return flipSensor; }

QString TouchAreaGraphicsView::GetCurrentSensorPositionText() const
{
    if (currentPosition == positionTop.get()) {
        return "Top";
    }
    if (currentPosition == positionLeft.get()) {
        return "Left";
    }
    if (currentPosition == positionBottom.get()) {
        return "Bottom";
    }
    if (currentPosition == positionRight.get()) {
        return "Right";
    }
    return "Unknown";
}

QString TouchAreaGraphicsView::GetTextForPosition(int x, int y) { return QString("(%1,%2)").arg(x).arg(y); }

// The label of the far corner is the widest the drawing needs room for.
void TouchAreaGraphicsView::UpdateScaling()
{
    topLeftLabel->setText(GetTextForPosition(areaMaxX, areaMaxY));
    const QRectF text = topLeftLabel->boundingRect();
    currentPosition->UpdateScaling(drawWidth, drawHeight, text.width(), text.height(), flipSensor);
}

void TouchAreaGraphicsView::UpdatePositions()
{
    const auto [width, height] = currentPosition->GetSceneSize();
    scene->setSceneRect(0, 0, std::max(width, 1.0), std::max(height, 1.0));

    const CornerPair topLeft = GetCornerPair(false, false);
    const CornerPair topRight = GetCornerPair(true, false);
    const CornerPair bottomLeft = GetCornerPair(false, true);
    const CornerPair bottomRight = GetCornerPair(true, true);
    topLeftLabel->setText(GetTextForPosition(topLeft.first, topLeft.second));
    topRightLabel->setText(GetTextForPosition(topRight.first, topRight.second));
    bottomLeftLabel->setText(GetTextForPosition(bottomLeft.first, bottomLeft.second));
    bottomRightLabel->setText(GetTextForPosition(bottomRight.first, bottomRight.second));

    topLeftLabel->setPos(currentPosition->GetTopLeftTextPosition(topLeftLabel));
    topRightLabel->setPos(currentPosition->GetTopRightTextPosition(topRightLabel));
    bottomLeftLabel->setPos(currentPosition->GetBottomLeftTextPosition(bottomLeftLabel));
    bottomRightLabel->setPos(currentPosition->GetBottomRightTextPosition(bottomRightLabel));
}

// Without Flip XY the first value runs along X (mirrored when exactly one of the back side being up and
// Reverse X holds) and the second along Y (mirrored by Reverse Y); Flip XY swaps the axes, and then the back
// side mirrors the second value together with Reverse Y.
TouchAreaGraphicsView::CornerPair TouchAreaGraphicsView::GetCornerPair(bool right, bool bottom) const
{
    const auto along = [](bool far, int length, bool mirrored) { return (far != mirrored) ? length : 0; };
    CornerPair pair{};
    if (flipXY) {
        pair.first = along(bottom, areaHeight, reverseX);
        pair.second = along(right, areaWidth, flipSensor != reverseY);
    } else {
        pair.first = along(right, areaWidth, flipSensor != reverseX);
        pair.second = along(bottom, areaHeight, reverseY);
    }
    pair.first += areaOffsetX;
    pair.second += areaOffsetY;
    return pair;
}
