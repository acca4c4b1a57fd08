#include "gui/MessageLineBreaks.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

// The lines of the text in the room, each character 10 px wide; a line that ends in "f" is 2 px wider (a glyph
// that reaches past its advance).
QStringList LinesOf(const QString& text, qreal room, qreal* width = nullptr)
{
    std::vector<qreal> x;
    std::vector<qreal> overhang;
    for (int i = 0; i <= text.size(); ++i) {
        x.push_back(10.0 * i);
        overhang.push_back(i > 0 && text[i - 1] == 'f' ? 2 : 0);
    }
    const MessageLineBreaks::Lines lines = MessageLineBreaks(text, x, overhang).In(room);
    if (width != nullptr) {
        *width = lines.width;
    }
    QStringList shown;
    int start = 0;
    for (const int end : lines.ends) {
        shown << text.mid(start, end - start);
        start = end;
    }
    return shown;
}

int Words(const QString& line) { return line.split(' ', Qt::SkipEmptyParts).size(); }

TEST(MessageLineBreaksTest, ALongPathBreaksAfterItsSlashesOnlyNeverAtAHyphen)
{
    const QString text = "saved in /home/deep-folder/next-folder/last-folder/file-name.hex -o";
    const QStringList lines = LinesOf(text, 200);
    EXPECT_EQ(lines.join(""), text);
    ASSERT_EQ(lines.size(), 5) << lines.join(" | ").toStdString();
    for (int i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].trimmed().size(), 20) << lines[i].toStdString();
        if (i + 1 < lines.size()) {
            EXPECT_TRUE(lines[i].endsWith('/') || lines[i].endsWith(' ')) << lines.join(" | ").toStdString();
        }
    }
    // Without a limit the text stays on one line.
    qreal width = 0;
    EXPECT_EQ(LinesOf(text, std::numeric_limits<qreal>::infinity(), &width), QStringList{text});
    EXPECT_EQ(width, 10.0 * text.size());
}

TEST(MessageLineBreaksTest, TheLinesAreEvenAndNoneHoldsASingleWordOfSeveral)
{
    // Filled line by line, the last word would stand alone.
    const QString closing =
        "Another instance of Morvel Deskvane, Tarnix Programmer or Reflashor is already running, "
        "this one will be closed.";
    qreal width = 0;
    const QStringList halves = LinesOf(closing, 1000, &width);
    ASSERT_EQ(halves.size(), 2) << halves.join(" | ").toStdString();
    EXPECT_LE(std::abs(halves[0].trimmed().size() - halves[1].trimmed().size()), 10)
        << halves.join(" | ").toStdString();
    EXPECT_EQ(width, 10.0 * std::max(halves[0].trimmed().size(), halves[1].trimmed().size()));
    // As even as can be in three lines (3, 3, 1 words), the last word would still stand alone.
    const QStringList thirds = LinesOf("aaa bbb ccc ddd eee ppp ggg", 110);
    ASSERT_EQ(thirds.size(), 3) << thirds.join(" | ").toStdString();
    for (const QString& line : thirds) {
        EXPECT_GT(Words(line), 1) << thirds.join(" | ").toStdString();
    }
}

TEST(MessageLineBreaksTest, OnlyAPieceWiderThanTheRoomBreaksBetweenItsCharacters)
{
    const QString text = "in /averyveryverylongfoldername/x";
    const QStringList narrow = LinesOf(text, 100);
    EXPECT_EQ(narrow.join(""), text);
    EXPECT_EQ(narrow.size(), 4) << narrow.join(" | ").toStdString();
    for (const QString& line : narrow) {
        EXPECT_LE(line.trimmed().size(), 10) << narrow.join(" | ").toStdString();
    }
    EXPECT_EQ(LinesOf(text, 300), (QStringList{"in ", "/averyveryverylongfoldername/x"}));
}

TEST(MessageLineBreaksTest, AGlyphReachingPastItsAdvanceCountsIntoTheLinesWidth)
{
    // "ab cdef" is 70 px of advances and 72 px with the overhang of its last glyph.
    EXPECT_EQ(LinesOf("ab cdef", 72), QStringList{"ab cdef"});
    EXPECT_EQ(LinesOf("ab cdef", 71), (QStringList{"ab ", "cdef"}));
}

}  // namespace
