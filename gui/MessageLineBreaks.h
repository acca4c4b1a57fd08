#pragma once

#include <QString>

#include <vector>

// Where the visual lines of one line of a message's text (a paragraph) break in a given room. A line breaks
// only between words and after a "/" inside a word (a long file path between its folders, never at a hyphen);
// only a piece between two such places that is wider than the room breaks between any two of its characters.
// No line holds a single word (or a piece of a long one) of a paragraph of several words where other breaks
// avoid it; then the paragraph takes as few lines as the room allows, as even as they can be.
class MessageLineBreaks {
public:
    struct Lines {
        std::vector<int> ends;  // where each line ends; the last one at the text's end
        qreal width = 0;        // the narrowest room that gives these lines
    };

    // The paragraph, the horizontal position of each of its cursor positions on one unbroken line (text.size() + 1
    // values; NaN for a position inside a character made of several) and how far the glyph before each position
    // reaches past its advance (a line ending there is that much wider).
    MessageLineBreaks(QString text, std::vector<qreal> x, std::vector<qreal> overhang);

    // The lines in the room; the whole paragraph on one line when the room is infinite.
    Lines In(qreal room) const;

private:
    struct Cost;

    std::vector<int> PlacesIn(qreal room) const;
    qreal Width(int start, int end) const;
    int FewestLines(const std::vector<int>& places, qreal room) const;
    qreal NarrowestRoom(const std::vector<int>& places, int lines, qreal room) const;
    std::vector<int> EvenestEnds(const std::vector<int>& places, qreal room) const;
    bool IsOneWord(int start, int end) const;

    QString text;
    std::vector<qreal> x;
    std::vector<qreal> overhang;
    std::vector<int> wordStarts;  // where each word starts, after white space
};
