#pragma once

#include <QAbstractTextDocumentLayout>
#include <QSizeF>

class QTextBlock;
class QTextDocument;

// Lays out the plain text of a message box's label: each line of the text (a block) on as few visual lines as
// the document's width allows, broken where MessageLineBreaks says (between words and after the "/" of a long
// path, never at a hyphen, as evenly as they can be and without a single word alone on a line). The text is
// the document's own, unchanged, so that what the user selects and copies is the text itself. Without a text
// width, or with wrapping off, each line of the text stays whole.
class MessageTextLayout : public QAbstractTextDocumentLayout {
public:
    // Becomes the document's layout; the document owns it.
    static MessageTextLayout& Install(QTextDocument& document);

    // The narrowest text width of the document that lays the text out as it is laid out now.
    qreal UsedWidth() const { return usedWidth; }

    void draw(QPainter* painter, const PaintContext& context) override;
    int hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return size; }
    QRectF frameBoundingRect(QTextFrame* frame) const override;
    QRectF blockBoundingRect(const QTextBlock& block) const override;

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    explicit MessageTextLayout(QTextDocument& document);

    qreal LayOut(const QTextBlock& block, qreal top, qreal room);

    QSizeF size;
    qreal usedWidth = 0;
};
