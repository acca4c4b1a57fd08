#pragma once

#include <QByteArray>
#include <QFont>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <memory>
#include <vector>

// One line of a box's text (a paragraph of the label's document) as the box shows it.
struct ShownParagraph {
    QString text;
    std::vector<int> lineStarts;  // where each of its visual lines starts in the text
    qreal wholeWidth = 0;         // its width on a single line in the label's font

    int LineEnd(std::size_t line) const
    {
        return line + 1 < lineStarts.size() ? lineStarts[line + 1] : static_cast<int>(text.size());
    }

    // The visual lines, trimmed.
    QStringList Lines() const
    {
        QStringList lines;
        for (std::size_t i = 0; i < lineStarts.size(); ++i) {
            lines << text.mid(lineStarts[i], LineEnd(i) - lineStarts[i]).trimmed();
        }
        return lines;
    }
};

// What a message box shows of its text: each line of the text as the box's label lays it out at the width it
// gives its text, the visual lines that run past that width (cut off at the label's edge), whether the label lies
// inside the box, and how much room the text would have in a box as wide as QMessageBox lets itself be.
struct MessageBoxLines {
    QString title;
    QString text;
    int screenWidth = 0;
    std::vector<ShownParagraph> paragraphs;
    QStringList cutOff;
    bool labelFound = false;
    bool labelInsideBox = false;
    bool boxAtItsLimit = false;
    qreal roomAtLimit = 0;
};

// The widest QMessageBox makes itself on the screen it opens on, as Qt's own box shows it: a stock box whose
// text is a single word far longer than any screen is wide.
inline int StockMessageBoxWidth()
{
    QMessageBox stock(QMessageBox::NoIcon, QString(), QString(4000, QChar('W')), QMessageBox::Ok);
    stock.setWindowModality(Qt::NonModal);
    stock.setAttribute(Qt::WA_DontShowOnScreen);
    stock.show();
    const int width = stock.width();
    stock.hide();
    return width;
}

// The width the label gives its text: its contents less its margin and indent.
inline int TextRoom(const QLabel& label)
{
    return label.contentsRect().width() - 2 * label.margin() - std::max(label.indent(), 0);
}

// The document the label paints, laid out at the label's text room: its own (a label whose text can be
// selected has one), or for a label without one a plain document in its font, kept in `made`.
inline QTextDocument* ShownDocument(QLabel& label, std::unique_ptr<QTextDocument>& made)
{
    QTextDocument* document = label.findChild<QTextDocument*>();
    if (document == nullptr) {
        made = std::make_unique<QTextDocument>();
        made->setDefaultFont(label.font());
        made->setDocumentMargin(0);
        made->setPlainText(label.text());
        QTextOption option = made->defaultTextOption();
        option.setWrapMode(label.wordWrap() ? QTextOption::WordWrap : QTextOption::ManualWrap);
        made->setDefaultTextOption(option);
        document = made.get();
    }
    document->setTextWidth(TextRoom(label));
    document->size();  // lays the document out
    return document;
}

// The text's width on a single line, in the font and with the tab stops of the document.
inline qreal WholeWidth(const QString& text, const QTextDocument& document)
{
    QTextLayout layout(text, document.defaultFont());
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    return line.isValid() ? line.naturalTextWidth() : 0;
}

inline MessageBoxLines MeasureMessageBox(QMessageBox& box)
{
    MessageBoxLines shown;
    shown.title = box.windowTitle();
    shown.text = box.text();
    shown.screenWidth = box.screen()->availableGeometry().width();
    const int limit = StockMessageBoxWidth();
    shown.boxAtItsLimit = box.width() >= limit;
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    if (label == nullptr) {
        return shown;
    }
    shown.labelFound = true;
    shown.labelInsideBox = box.rect().contains(QRect(label->mapTo(&box, QPoint(0, 0)), label->size()));
    shown.roomAtLimit = limit - (box.width() - TextRoom(*label));
    std::unique_ptr<QTextDocument> made;
    const QTextDocument& document = *ShownDocument(*label, made);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        ShownParagraph paragraph;
        paragraph.text = block.text();
        paragraph.wholeWidth = WholeWidth(paragraph.text, document);
        const QTextLayout& layout = *block.layout();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            paragraph.lineStarts.push_back(line.textStart());
            if (line.x() + line.naturalTextWidth() > TextRoom(*label) + 0.5) {
                shown.cutOff << paragraph.text.mid(line.textStart(), line.textLength()).trimmed();
            }
        }
        shown.paragraphs.push_back(paragraph);
    }
    return shown;
}

// Whether the part [start, end) of the text holds a single word of it, whole, and nothing else.
inline bool IsOneWholeWord(const QString& text, int start, int end)
{
    while (start < end && text[start].isSpace()) {
        ++start;
    }
    while (end > start && text[end - 1].isSpace()) {
        --end;
    }
    const QString part = text.mid(start, end - start);
    const bool startsAWord = start == 0 || text[start - 1].isSpace();
    const bool endsAWord = end == text.size() || text[end].isSpace();
    return !part.isEmpty() && !part.contains(QRegularExpression("\\s")) && startsAWord && endsAWord;
}

// What keeps one line of the text from showing well: wrapped though it fits whole in a box as wide as
// QMessageBox lets itself be, a visual line holding a single word of a line of several words, or a line broken
// inside a word anywhere but after a "/" (a long path between its folders). The findings end with the visual
// lines.
inline QStringList ParagraphFaults(const ShownParagraph& paragraph, qreal roomAtLimit)
{
    QStringList faults;
    const QStringList lines = paragraph.Lines();
    if (lines.size() > 1 && paragraph.wholeWidth + 1 <= roomAtLimit) {
        faults << QString("wrapped though its %1 px fit in %2 px").arg(paragraph.wholeWidth).arg(roomAtLimit);
    }
    const int words = paragraph.text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts).size();
    for (std::size_t i = 0; i < paragraph.lineStarts.size(); ++i) {
        const int start = paragraph.lineStarts[i];
        if (words > 1 && IsOneWholeWord(paragraph.text, start, paragraph.LineEnd(i))) {
            faults << "a single word on a line of its own: " + lines[static_cast<int>(i)];
        }
        if (i > 0 && !paragraph.text[start - 1].isSpace() && paragraph.text[start - 1] != '/') {
            faults << "broken inside a word: ..." + paragraph.text.mid(start - 12, 12) + " | " +
                          paragraph.text.mid(start, 12) + "...";
        }
    }
    if (!faults.isEmpty()) {
        faults << "  shown as [" + lines.join(" | ") + "]";
    }
    return faults;
}

// What keeps the box from showing each line of its text well, one finding a line; empty when nothing does.
// Under an X server of a given size ($TARNIX_EXPECTED_SCREEN_WIDTH, set where ctest runs the box tests on 1280
// and 1920 pixel wide screens) the box must stand on a screen of that width.
inline QStringList WholeLineFaults(const MessageBoxLines& shown)
{
    QStringList faults;
    const QByteArray expectedWidth = qgetenv("TARNIX_EXPECTED_SCREEN_WIDTH");
    if (!expectedWidth.isEmpty() && shown.screenWidth != expectedWidth.toInt()) {
        faults << QString("on a screen %1 pixels wide instead of %2").arg(shown.screenWidth).arg(expectedWidth.data());
    }
    if (!shown.labelFound) {
        return faults << "the box has no text label";
    }
    if (!shown.labelInsideBox) {
        faults << "the text is cut off at the box's edge";
    }
    const QStringList lines = shown.text.split('\n');
    if (static_cast<std::size_t>(lines.size()) != shown.paragraphs.size()) {
        faults << QString("the box shows %1 lines of a text of %2").arg(shown.paragraphs.size()).arg(lines.size());
        return faults;
    }
    for (const ShownParagraph& paragraph : shown.paragraphs) {
        faults << ParagraphFaults(paragraph, shown.roomAtLimit);
    }
    for (const QString& line : shown.cutOff) {
        faults << "wider than the box, cut off: " + line;
    }
    return faults;
}
