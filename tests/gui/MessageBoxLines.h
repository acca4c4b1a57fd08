#pragma once

#include <QByteArray>
#include <QLabel>
#include <QMessageBox>
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

// What a message box shows of its text: each line of the text (a paragraph of the label's document) as the
// box's label wraps it at the width the label gives its text, whether a wrapped line runs past that width (a
// word longer than the room), whether the label lies inside the box, and whether the box stands at the widest
// QMessageBox makes itself on its screen.
struct MessageBoxLines {
    QString title;
    QString text;
    int screenWidth = 0;
    std::vector<QStringList> lines;  // the visual lines of each line of the text, trimmed
    QStringList cutOff;              // visual lines wider than the label's room
    bool labelFound = false;
    bool labelInsideBox = false;
    bool boxAtItsLimit = false;
};

// The widest QMessageBox makes itself on a screen: the whole width up to 1024 pixels, else that width less 480
// and at most 1000 pixels.
inline int MessageBoxWidthLimit(const QScreen& screen)
{
    const int width = screen.availableGeometry().width();
    return width <= 1024 ? width : std::min(width - 480, 1000);
}

// The label's text laid out as the label lays it out when it paints: a copy of its document (or, for a label
// without one, a plain document in its font) at the width the label's margin and indent leave.
inline std::unique_ptr<QTextDocument> LaidOutText(const QLabel& label)
{
    std::unique_ptr<QTextDocument> document;
    if (const auto* own = label.findChild<QTextDocument*>()) {
        document.reset(own->clone());
    } else {
        document = std::make_unique<QTextDocument>();
        document->setDefaultFont(label.font());
        document->setDocumentMargin(0);
        document->setPlainText(label.text());
        QTextOption option = document->defaultTextOption();
        option.setWrapMode(label.wordWrap() ? QTextOption::WordWrap : QTextOption::ManualWrap);
        document->setDefaultTextOption(option);
    }
    document->setTextWidth(label.contentsRect().width() - 2 * label.margin() - std::max(label.indent(), 0));
    document->size();  // lays the document out
    return document;
}

inline MessageBoxLines MeasureMessageBox(const QMessageBox& box)
{
    MessageBoxLines shown;
    shown.title = box.windowTitle();
    shown.text = box.text();
    shown.screenWidth = box.screen()->availableGeometry().width();
    shown.boxAtItsLimit = box.width() >= MessageBoxWidthLimit(*box.screen());
    const auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    if (label == nullptr) {
        return shown;
    }
    shown.labelFound = true;
    shown.labelInsideBox = box.rect().contains(QRect(label->mapTo(&box, QPoint(0, 0)), label->size()));
    const std::unique_ptr<QTextDocument> document = LaidOutText(*label);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QStringList parts;
        const QTextLayout& layout = *block.layout();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            parts << block.text().mid(line.textStart(), line.textLength()).trimmed();
            if (line.naturalTextWidth() > line.width() + 0.5) {
                shown.cutOff << parts.back();
            }
        }
        shown.lines.push_back(parts);
    }
    return shown;
}

// What keeps the box from showing each line of its text whole, one finding a line; empty when nothing does. A
// line may wrap only in a box that stands at its width limit (a line longer than the screen allows), never
// leaving a single word on a line of its own otherwise, and nothing may be cut off. Under an X server of a given
// size ($TARNIX_EXPECTED_SCREEN_WIDTH, set where ctest runs the box tests on 1280 and 1920 pixel wide screens)
// the box must stand on a screen of that width.
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
    if (static_cast<std::size_t>(lines.size()) != shown.lines.size()) {
        faults << QString("the box shows %1 lines of a text of %2").arg(shown.lines.size()).arg(lines.size());
        return faults;
    }
    for (std::size_t i = 0; i < shown.lines.size(); ++i) {
        const QStringList& parts = shown.lines[i];
        if (parts.size() > 1 && !shown.boxAtItsLimit) {
            const bool loneWord =
                std::any_of(parts.begin(), parts.end(), [](const QString& p) { return !p.contains(' '); });
            faults << QString("wrapped in a box that could be wider%1: %2 -> [%3]")
                          .arg(loneWord ? " (a single word on a line)" : "", lines[static_cast<int>(i)],
                               parts.join(" | "));
        }
    }
    for (const QString& line : shown.cutOff) {
        faults << "wider than the box, cut off: " + line;
    }
    return faults;
}
