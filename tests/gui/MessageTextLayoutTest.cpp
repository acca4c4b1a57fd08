#include "gui/MessageTextLayout.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QString>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// Presses the left mouse button at one point of the widget, drags to another and lets go there.
void Drag(QWidget& widget, QPoint from, QPoint to)
{
    QMouseEvent press(QEvent::MouseButtonPress, from, widget.mapToGlobal(from), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QMouseEvent move(QEvent::MouseMove, to, widget.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, widget.mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
}

// The user copies the command with the path out of the box: the lines are broken on the screen only.
TEST(MessageTextLayoutTest, ATextOnSeveralLinesIsSelectedWithTheMouseAsItIs)
{
    const QString path = "/home/maria-jose/service-visits/north-east-region/backups/parameters-31-01-2025_12-00.hex";
    const QString text =
        "The contents are saved in " + path + "; write them back with: TarnixProgrammer_CLI -f " + path + " -o";
    QLabel label(text);
    label.setWordWrap(true);
    label.setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* document = label.findChild<QTextDocument*>();
    ASSERT_NE(document, nullptr);
    MessageTextLayout::Install(*document);
    label.resize(300, label.heightForWidth(300));
    label.grab();  // lays the text out at the label's width, as it paints
    ASSERT_GT(document->begin().layout()->lineCount(), 3);

    Drag(label, QPoint(0, 2), QPoint(label.width() - 1, label.height() - 1));
    EXPECT_EQ(label.selectedText(), text);
    Drag(label, QPoint(label.width() - 1, label.height() - 1), QPoint(0, 2));
    EXPECT_EQ(label.selectedText(), text);
}

}  // namespace
