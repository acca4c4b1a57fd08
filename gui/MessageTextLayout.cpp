#include "gui/MessageTextLayout.h"

#include "gui/MessageLineBreaks.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Room kept free on each line for the rounding of Qt's fixed-point widths.
constexpr qreal roundingAllowance = 1.0 / 16;

// How far the glyph before each position of the text reaches past its advance (its negative right bearing), as
// Qt counts it into the width of a line that ends there.
std::vector<qreal> Overhangs(const QString& text, const QFont& font)
{
    const QFontMetricsF metrics(font);
    std::vector<qreal> overhang(static_cast<std::size_t>(text.size()) + 1, 0);
    for (int i = 1; i <= text.size(); ++i) {
        overhang[static_cast<std::size_t>(i)] = -std::min(metrics.rightBearing(text[i - 1]), 0.0);
    }
    return overhang;
}

// The horizontal position of each cursor position of the block's text laid out on one unbroken line; NaN inside
// a character made of several.
std::vector<qreal> Positions(const QTextBlock& block, QTextOption option)
{
    QTextLayout& layout = *block.layout();
    option.setWrapMode(QTextOption::ManualWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setNumColumns(std::numeric_limits<int>::max());
    layout.endLayout();
    const int length = block.text().size();
    std::vector<qreal> x(static_cast<std::size_t>(length) + 1, std::numeric_limits<qreal>::quiet_NaN());
    for (int i = 0; i <= length; ++i) {
        if (i == 0 || layout.isValidCursorPosition(i)) {
            x[static_cast<std::size_t>(i)] = line.cursorToX(i);
        }
    }
    return x;
}

int LineEnd(const QTextLine& line) { return line.textStart() + line.textLength(); }

// Lays the line out from its start up to the end (or less, where the room is too narrow). QTextLine counts what
// it takes in glyph clusters, a tab as several: the line takes the most clusters that do not run past the end.
void FillLineIn(QTextLine& line, int end, qreal room)
{
    constexpr int mostColumns = 1 << 24;
    const auto endWith = [&](int columns) {
        line.setNumColumns(columns, room);
        return LineEnd(line);
    };
    int fits = 1;
    int tooMany = std::max(end - line.textStart(), 1);
    while (endWith(tooMany) <= end) {
        if (LineEnd(line) == end || tooMany >= mostColumns) {
            return;
        }
        fits = tooMany;
        tooMany *= 2;
    }
    while (tooMany - fits > 1) {
        const int middle = fits + (tooMany - fits) / 2;
        (endWith(middle) <= end ? fits : tooMany) = middle;
    }
    endWith(fits);
}

// Whether the line stops short of the end with only white space in between.
bool StopsBeforeWhiteSpace(const QTextLine& line, const QString& text, int end)
{
    const int stop = LineEnd(line);
    return stop < end && text.mid(stop, end - stop).trimmed().isEmpty();
}

// Lays the line out from its start up to the end in the room. Qt lets spaces at the end of a line run past the
// room, but not tabs: white space that would go to the next line gets the room it needs on this one.
void FillLine(QTextLine& line, const QString& text, int end, qreal room)
{
    constexpr int widenings = 8;
    FillLineIn(line, end, room);
    for (int i = 0; i < widenings && StopsBeforeWhiteSpace(line, text, end); ++i) {
        room *= 2;
        FillLineIn(line, end, room);
    }
}

qreal BlockHeight(const QTextLayout& layout)
{
    if (layout.lineCount() == 0) {
        return 0;
    }
    const QTextLine last = layout.lineAt(layout.lineCount() - 1);
    return last.y() + last.height();
}

// The parts of the block that the context's selections cover.
QVector<QTextLayout::FormatRange> SelectionsIn(const QTextBlock& block,
                                               const QAbstractTextDocumentLayout::PaintContext& context)
{
    QVector<QTextLayout::FormatRange> ranges;
    for (const QAbstractTextDocumentLayout::Selection& selection : context.selections) {
        const int start = std::max(selection.cursor.selectionStart() - block.position(), 0);
        const int end = std::min(selection.cursor.selectionEnd() - block.position(), block.length() - 1);
        if (end > start) {
            QTextLayout::FormatRange range;
            range.start = start;
            range.length = end - start;
            range.format = selection.format;
            ranges << range;
        }
    }
    return ranges;
}

}  // namespace

MessageTextLayout::MessageTextLayout(QTextDocument& document) : QAbstractTextDocumentLayout(&document) {}

MessageTextLayout& MessageTextLayout::Install(QTextDocument& document)
{
    auto* layout = new MessageTextLayout(document);  // owned by the document, its parent
    document.setDocumentLayout(layout);
    return *layout;
}

void MessageTextLayout::documentChanged(int, int, int)
{
    const QTextDocument& document = *this->document();
    const qreal margin = document.documentMargin();
    const QTextOption::WrapMode wrapMode = document.defaultTextOption().wrapMode();
    const bool wrapping =
        document.textWidth() >= 0 && wrapMode != QTextOption::NoWrap && wrapMode != QTextOption::ManualWrap;
    const qreal room =
        wrapping ? std::max(document.textWidth() - 2 * margin, 0.0) : std::numeric_limits<qreal>::infinity();
    usedWidth = 0;
    qreal top = margin;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        top += LayOut(block, top, room);
    }
    usedWidth += 2 * margin;
    size = QSizeF(std::max(document.textWidth(), usedWidth), top + margin);
    emit documentSizeChanged(size);
    emit update();
}

// Lays the block out at the top in the room, notes the width its lines need, and gives its height.
qreal MessageTextLayout::LayOut(const QTextBlock& block, qreal top, qreal room)
{
    QTextLayout& layout = *block.layout();
    QTextOption option = document()->defaultTextOption();
    const QString text = block.text();
    const MessageLineBreaks::Lines lines =
        MessageLineBreaks(text, Positions(block, option), Overhangs(text, document()->defaultFont()))
            .In(room - roundingAllowance);
    usedWidth = std::max(usedWidth, lines.width + roundingAllowance);
    // Every place counts as a break, so that each line ends exactly where it should; the text that would be
    // left over (none) would go on lines of its own.
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    layout.setPosition(QPointF(document()->documentMargin(), top));
    const qreal alignmentRoom = std::isinf(room) ? document()->textWidth() - 2 * document()->documentMargin() : room;
    const qreal lineRoom = std::max(alignmentRoom, lines.width + roundingAllowance);
    layout.beginLayout();
    qreal y = 0;
    std::size_t next = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        FillLine(line, text, next < lines.ends.size() ? lines.ends[next++] : text.size(), lineRoom);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return BlockHeight(layout);
}

void MessageTextLayout::draw(QPainter* painter, const PaintContext& context)
{
    painter->save();
    painter->setPen(context.palette.color(QPalette::Text));
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        block.layout()->draw(painter, QPointF(), SelectionsIn(block, context), context.clip);
    }
    painter->restore();
}

// The cursor position at the point: on the line the point is on, or on the nearest one unless the hit must be
// exact.
int MessageTextLayout::hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const
{
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const QTextLayout& layout = *block.layout();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            const QRectF rect = line.rect().translated(layout.position());
            const bool lastLine = !block.next().isValid() && i + 1 == layout.lineCount();
            if (point.y() < rect.bottom() || lastLine) {
                if (accuracy == Qt::ExactHit && !rect.contains(point)) {
                    return -1;
                }
                return block.position() + line.xToCursor(point.x() - layout.position().x());
            }
        }
    }
    return -1;
}

QRectF MessageTextLayout::frameBoundingRect(QTextFrame*) const { return QRectF(QPointF(), size); }

QRectF MessageTextLayout::blockBoundingRect(const QTextBlock& block) const
{
    const QTextLayout& layout = *block.layout();
    const qreal margin = document()->documentMargin();
    return QRectF(layout.position(), QSizeF(size.width() - 2 * margin, BlockHeight(layout)));
}
