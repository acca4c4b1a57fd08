#include "gui/MessageLineBreaks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

namespace {

// Widths summed in another order may differ in their last bits.
constexpr qreal tolerance = 1e-6;
constexpr qreal infinite = std::numeric_limits<qreal>::infinity();

}  // namespace

// What a choice of lines costs, compared in this order: the lines holding a single word (or a piece of one)
// alone, the lines, and how uneven they are (the squared room left on each line but the last).
struct MessageLineBreaks::Cost {
    int loneWords = 0;
    int lines = 0;
    qreal unevenness = 0;

    bool operator<(const Cost& other) const
    {
        return std::tie(loneWords, lines, unevenness) < std::tie(other.loneWords, other.lines, other.unevenness);
    }
};

MessageLineBreaks::MessageLineBreaks(QString text, std::vector<qreal> x, std::vector<qreal> overhang)
    : text(std::move(text)), x(std::move(x)), overhang(std::move(overhang))
{
    for (int i = 0; i < this->text.size(); ++i) {
        if (!this->text[i].isSpace() && (i == 0 || this->text[i - 1].isSpace())) {
            wordStarts.push_back(i);
        }
    }
}

MessageLineBreaks::Lines MessageLineBreaks::In(qreal room) const
{
    const int length = static_cast<int>(text.size());
    if (std::isinf(room) || length == 0) {
        return {{length}, Width(0, length)};
    }
    const std::vector<int> places = PlacesIn(room);
    const qreal narrowest = NarrowestRoom(places, FewestLines(places, room), room);
    return {EvenestEnds(places, narrowest), narrowest};
}

// The places a line may end at in the room, the text's start and end among them: before each word but the
// first, after each "/" inside a word, and between the characters of a piece between two of those that is
// wider than the room.
std::vector<int> MessageLineBreaks::PlacesIn(qreal room) const
{
    const int length = static_cast<int>(text.size());
    std::vector<int> wanted{0};
    for (int i = 1; i < length; ++i) {
        const bool wordStart = !wordStarts.empty() && i > wordStarts.front() &&
                               std::binary_search(wordStarts.begin(), wordStarts.end(), i);
        const bool afterSlash = text[i - 1] == '/' && i >= 2 && !text[i - 2].isSpace() && !text[i].isSpace();
        if ((wordStart || afterSlash) && !std::isnan(x[static_cast<std::size_t>(i)])) {
            wanted.push_back(i);
        }
    }
    wanted.push_back(length);
    std::vector<int> places{0};
    for (std::size_t i = 1; i < wanted.size(); ++i) {
        if (Width(wanted[i - 1], wanted[i]) > room + tolerance) {
            for (int between = wanted[i - 1] + 1; between < wanted[i]; ++between) {
                if (!std::isnan(x[static_cast<std::size_t>(between)])) {
                    places.push_back(between);
                }
            }
        }
        places.push_back(wanted[i]);
    }
    return places;
}

// The width of a line from start to end, without the white space it ends with.
qreal MessageLineBreaks::Width(int start, int end) const
{
    while (end > start && text[end - 1].isSpace()) {
        --end;
    }
    const auto last = static_cast<std::size_t>(end);
    return x[last] - x[static_cast<std::size_t>(start)] + (end > start ? overhang[last] : 0);
}

// The fewest lines the room allows: each as long as it fits (a piece wider than the room on a line of its own).
int MessageLineBreaks::FewestLines(const std::vector<int>& places, qreal room) const
{
    int lines = 0;
    for (std::size_t start = 0; start + 1 < places.size(); ++lines) {
        std::size_t end = start + 1;
        while (end + 1 < places.size() && Width(places[start], places[end + 1]) <= room + tolerance) {
            ++end;
        }
        start = end;
    }
    return lines;
}

// The narrowest room that still takes no more lines: the least widest line over every choice of that many.
qreal MessageLineBreaks::NarrowestRoom(const std::vector<int>& places, int lines, qreal room) const
{
    // widest[j]: the least widest line of the text up to places[j] in the lines counted so far.
    std::vector<qreal> widest(places.size(), infinite);
    widest[0] = 0;
    for (int line = 0; line < lines; ++line) {
        std::vector<qreal> next = widest;
        for (std::size_t end = 1; end < places.size(); ++end) {
            for (std::size_t start = end; start-- > 0;) {
                const qreal width = Width(places[start], places[end]);
                if (width > room + tolerance && start + 1 < end) {
                    break;
                }
                next[end] = std::min(next[end], std::max(widest[start], width));
            }
        }
        widest = std::move(next);
    }
    return widest.back();
}

// The ends of the cheapest lines no wider than the room.
std::vector<int> MessageLineBreaks::EvenestEnds(const std::vector<int>& places, qreal room) const
{
    std::vector<Cost> best(places.size());
    std::vector<std::size_t> lineStart(places.size(), 0);
    for (std::size_t end = 1; end < places.size(); ++end) {
        const bool last = end + 1 == places.size();
        bool found = false;
        for (std::size_t start = end; start-- > 0;) {
            const qreal width = Width(places[start], places[end]);
            if (width > room + tolerance && start + 1 < end) {
                break;
            }
            Cost cost = best[start];
            cost.lines += 1;
            cost.loneWords += IsOneWord(places[start], places[end]) ? 1 : 0;
            cost.unevenness += last ? 0 : (room - width) * (room - width);
            if (!found || cost < best[end]) {
                best[end] = cost;
                lineStart[end] = start;
                found = true;
            }
        }
    }
    std::vector<int> ends;
    for (std::size_t end = places.size() - 1; end > 0; end = lineStart[end]) {
        ends.push_back(places[end]);
    }
    std::reverse(ends.begin(), ends.end());
    return ends;
}

// Whether the line from start to end holds a single word of a text of several, whole or a piece of one.
bool MessageLineBreaks::IsOneWord(int start, int end) const
{
    if (wordStarts.size() < 2) {
        return false;
    }
    // A line starts at a word or inside one, the first line also after the white space the text starts with.
    const int firstCharacter = start == 0 ? wordStarts.front() : start;
    const auto nextWord = std::upper_bound(wordStarts.begin(), wordStarts.end(), firstCharacter);
    return nextWord == wordStarts.end() || *nextWord >= end;
}
