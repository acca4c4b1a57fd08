#include "gui/TouchAreaSensorPositionBottom.h"
#include "gui/TouchAreaSensorPositionRight.h"
#include "gui/TouchAreaSensorPositionTop.h"

#include <gtest/gtest.h>

#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QPen>

#include <cmath>

namespace {

// The items and numbers a view hands to its positions: a zero-width pen keeps bounding rectangles equal to
// the rectangles.
class TouchAreaSensorPositionTest : public ::testing::Test {
protected:
    TouchAreaSensorPositionTest()
    {
        for (QGraphicsRectItem** item : {&area, &body, &marker}) {
            *item = scene.addRect(QRectF(), QPen(Qt::black, 0));
        }
        label = scene.addSimpleText("(0,0)");
    }

    template <typename Position>
    Position Make()
    {
        return Position(area, body, marker, &minX, &maxX, &minY, &maxY, &sensorWidth, &sensorHeight);
    }

    void Show(bool areaShown, bool bodyShown)
    {
        area->setVisible(areaShown);
        body->setVisible(bodyShown);
    }

    QGraphicsScene scene;
    QGraphicsRectItem* area = nullptr;
    QGraphicsRectItem* body = nullptr;
    QGraphicsRectItem* marker = nullptr;
    QGraphicsSimpleTextItem* label = nullptr;
    int minX = 100, maxX = 200, minY = 0, maxY = 50, sensorWidth = 300, sensorHeight = 150;
};

TEST_F(TouchAreaSensorPositionTest, AnAreaAloneStartsAtTheOriginAndFillsTheRoomLessTheLabelAllowance)
{
    Show(true, false);
    auto top = Make<TouchAreaSensorPositionTop>();
    // Wider than high: the allowance is the label's height, 10; s = min(265 / 100, 265 / 50).
    top.UpdateScaling(285, 285, 40, 10, true);
    EXPECT_EQ(area->rect(), QRectF(0, 0, 265, 132.5));
    EXPECT_EQ(top.GetSceneSize(), std::make_pair(265.0, 132.0));
    // The top-left corner of the sensor is drawn at the right, its label above the area, flush right.
    const QRectF text = label->boundingRect();
    EXPECT_EQ(top.GetTopLeftTextPosition(label), QPointF(265 - text.width(), -text.height()));
    EXPECT_EQ(top.GetBottomRightTextPosition(label), QPointF(0, 132.5));
}

TEST_F(TouchAreaSensorPositionTest, ABodyAloneMakesTheSceneAndSitsAtTheOrigin)
{
    Show(false, true);
    minX = maxX = minY = maxY = 0;
    auto bottom = Make<TouchAreaSensorPositionBottom>();
    bottom.UpdateScaling(285, 285, 40, 10, false);
    const double s = 265.0 / 300;
    EXPECT_EQ(body->rect(), QRectF(0, 0, 300 * s, 150 * s));
    EXPECT_EQ(bottom.GetSceneSize(), std::make_pair(std::trunc(300 * s), std::trunc(150 * s)));
    EXPECT_EQ(body->brush().color(), QColor(Qt::gray));
}

TEST_F(TouchAreaSensorPositionTest, WithTheBodyShownTheAreaIsMirroredAgainstTheBodyWhenFrontSideUp)
{
    Show(true, true);
    auto top = Make<TouchAreaSensorPositionTop>();
    top.UpdateScaling(285, 285, 40, 10, false);
    // Extents: across max(200, 300), along 50 + 150; s = min(265 / 300, 265 / 200).
    const double s = 265.0 / 300;
    EXPECT_DOUBLE_EQ(area->rect().x(), (300 - 200) * s);
    EXPECT_DOUBLE_EQ(area->rect().y(), 150 * s);
    EXPECT_DOUBLE_EQ(marker->rect().x(), 300 * s);
    top.UpdateScaling(285, 285, 40, 10, true);
    EXPECT_DOUBLE_EQ(area->rect().x(), 100 * s);
    EXPECT_DOUBLE_EQ(marker->rect().x(), -30 * s);
    EXPECT_EQ(body->brush().color(), QColor(Qt::black));
}

TEST_F(TouchAreaSensorPositionTest, TheRightMarkerLandsOnWholeSceneUnits)
{
    Show(true, true);
    auto right = Make<TouchAreaSensorPositionRight>();
    right.UpdateScaling(285, 285, 40, 10, false);
    const QRectF placed = marker->rect();
    EXPECT_EQ(placed.x(), std::trunc(placed.x()));
    EXPECT_EQ(placed.y(), std::trunc(placed.y()));
    EXPECT_GT(placed.width(), 0);
    // Both shown: the scene reaches to the body's right edge.
    EXPECT_EQ(right.GetSceneSize().first, std::trunc(body->rect().right()));
}

TEST_F(TouchAreaSensorPositionTest, NothingToDrawGivesAnEmptyDrawingWithoutInfiniteSizes)
{
    Show(true, false);
    minX = maxX = 100;
    minY = maxY = 0;
    auto top = Make<TouchAreaSensorPositionTop>();
    top.UpdateScaling(285, 285, 40, 10, true);
    EXPECT_TRUE(std::isfinite(area->rect().width()) && std::isfinite(area->rect().x()));
    EXPECT_EQ(top.GetSceneSize(), std::make_pair(0.0, 0.0));
}

}  // namespace
