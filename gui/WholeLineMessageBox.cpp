#include "gui/WholeLineMessageBox.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSize>

#include <algorithm>

namespace {

constexpr int aboutIconSize = 64;
// QMessageBox's own rule for its width: the whole screen up to this width, else the screen less a margin, at
// most the cap.
constexpr int smallScreenWidth = 1024;
constexpr int screenMargin = 480;
constexpr int widthCap = 1000;

}  // namespace

void WholeLineMessageBox::Information(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    Show(box);
}

void WholeLineMessageBox::Warning(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    Show(box);
}

void WholeLineMessageBox::About(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    const QIcon icon = box.windowIcon();
    box.setIconPixmap(icon.pixmap(icon.actualSize(QSize(aboutIconSize, aboutIconSize))));
    Show(box);
}

void WholeLineMessageBox::Show(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
    FitTextLabel(box);
    box.exec();
}

// The text label is made at least as wide as its text unwrapped (the label's own measure, tabs, indent and
// margins included), so that the box, which never makes itself narrower than its layout's minimum, grows to
// show every line whole. Where the box would then outgrow its limit, the label takes only the room the limit
// leaves: the lines too long for it wrap inside the box instead of being cut off at its edge.
void WholeLineMessageBox::FitTextLabel(QMessageBox& box)
{
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    if (label == nullptr) {
        return;
    }
    box.ensurePolished();
    const bool wrapping = label->wordWrap();
    label->setWordWrap(false);
    label->setMinimumWidth(label->minimumSizeHint().width());
    label->setWordWrap(wrapping);
    box.layout()->activate();
    const int excess = box.layout()->totalMinimumSize().width() - WidthLimit();
    if (excess > 0) {
        label->setMinimumWidth(std::max(label->minimumWidth() - excess, 0));
    }
}

// The widest QMessageBox makes itself when it opens now, on the screen under the mouse pointer.
int WholeLineMessageBox::WidthLimit()
{
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const int width = screen != nullptr ? screen->availableGeometry().width() : smallScreenWidth;
    return width <= smallScreenWidth ? width : std::min(width - screenMargin, widthCap);
}
