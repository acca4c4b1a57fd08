#include "gui/TouchAreaGraphicsView.h"

#include <gtest/gtest.h>

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QWidget>

namespace {

class TouchAreaGraphicsViewTest : public ::testing::Test {
protected:
    QWidget page;
    TouchAreaGraphicsView view{&page, QSize(300, 300)};
};

// The page finds the drawing among its children by its own class, not as just any widget.
TEST_F(TouchAreaGraphicsViewTest, TheViewIsAQtObjectOfItsOwnClass)
{
    EXPECT_STREQ(view.metaObject()->className(), "TouchAreaGraphicsView");
    EXPECT_EQ(page.findChild<TouchAreaGraphicsView*>(), &view);
    EXPECT_EQ(qobject_cast<TouchAreaGraphicsView*>(static_cast<QWidget*>(view.GetGraphicsView())), nullptr);
}

TEST_F(TouchAreaGraphicsViewTest, BeforeAnyBoundsTheSceneIsStillAtLeastOneUnitSquare)
{
    view.Update();
    const QRectF scene = view.GetGraphicsView()->scene()->sceneRect();
    EXPECT_GE(scene.width(), 1.0);
    EXPECT_GE(scene.height(), 1.0);
}

TEST_F(TouchAreaGraphicsViewTest, CornerTextsHaveNoBlanksAndKeepTheMinusSign)
{
    EXPECT_EQ(TouchAreaGraphicsView::GetTextForPosition(120, -4), "(120,-4)");
    EXPECT_EQ(TouchAreaGraphicsView::GetTextForPosition(-7, 0), "(-7,0)");
}

}  // namespace
