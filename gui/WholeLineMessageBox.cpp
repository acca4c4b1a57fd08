#include "gui/WholeLineMessageBox.h"

#include "gui/MessageTextLayout.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSize>
#include <QTextDocument>
#include <QTextOption>
#include <QtMath>

#include <algorithm>

namespace {

constexpr int aboutIconSize = 64;
// QMessageBox's own rules for its width: the whole screen up to this width, else the screen less a margin, at
// most the cap; and it lets its text wrap only in a box wider than half the screen, at most the wrapping cap.
constexpr int smallScreenWidth = 1024;
constexpr int screenMargin = 480;
constexpr int widthCap = 1000;
constexpr int wrappingWidthCap = 500;

// The width of the screen under the mouse pointer, where a box opens now.
int ScreenWidth()
{
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry().width() : smallScreenWidth;
}

// The widest QMessageBox makes itself.
int WidthLimit()
{
    const int width = ScreenWidth();
    return width <= smallScreenWidth ? width : std::min(width - screenMargin, widthCap);
}

// The width a QMessageBox must exceed for its text to wrap.
int WrappingWidth() { return std::min(ScreenWidth() / 2, wrappingWidthCap); }

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

// The text label lays its text out with MessageTextLayout (which needs the label's own document: its text is
// made selectable with the mouse, as most styles make it) and is made at least as wide as its text unwrapped,
// so that the box, which never makes itself narrower than its layout's minimum, grows to show every line whole.
// Where the box would then outgrow its limit, the label takes only the room the limit leaves, narrowed to what
// the lines broken in that room take, but so that the box stays wide enough for QMessageBox to let the text
// wrap: the lines too long for the limit wrap inside the box instead of being cut off at its edge.
void WholeLineMessageBox::FitTextLabel(QMessageBox& box)
{
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    if (label == nullptr) {
        return;
    }
    box.ensurePolished();
    label->setTextInteractionFlags(label->textInteractionFlags() | Qt::TextSelectableByMouse);
    auto* document = label->findChild<QTextDocument*>();
    if (document == nullptr) {
        return;
    }
    const MessageTextLayout& layout = MessageTextLayout::Install(*document);
    const bool wrapping = label->wordWrap();
    label->setWordWrap(false);
    const int whole = label->minimumSizeHint().width();
    document->setTextWidth(-1);
    const int aroundText = whole - qCeil(layout.UsedWidth());  // the label's margins
    label->setMinimumWidth(whole);
    label->setWordWrap(wrapping);
    box.layout()->activate();
    const int aroundLabel = box.layout()->totalMinimumSize().width() - whole;  // the icon and the box's margins
    const int atLimit = std::max(WidthLimit() - aroundLabel, 0);
    if (whole > atLimit) {
        QTextOption option = document->defaultTextOption();
        option.setWrapMode(QTextOption::WordWrap);  // as the label wraps once QMessageBox lets it
        document->setDefaultTextOption(option);
        document->setTextWidth(std::max(atLimit - aroundText, 0));
        const int wrappingOn = WrappingWidth() + 1 - aroundLabel;
        label->setMinimumWidth(std::min(std::max(qCeil(layout.UsedWidth()) + aroundText, wrappingOn), atLimit));
    }
}
