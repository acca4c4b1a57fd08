#include "gui/GridLabelWrapper.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace {

constexpr int unlimitedHeight = 100000;

using LabelColumn = std::vector<QLabel*>;

// The size of a label's text when its words are wrapped into lines no wider than the limit; a single word
// wider than the limit keeps its own width.
QSize WrappedSize(const QLabel* label, int limit)
{
    return label->fontMetrics()
        .boundingRect(QRect(0, 0, limit, unlimitedHeight), Qt::TextWordWrap, label->text())
        .size();
}

// A wrapped label is fixed to its size; the others take their size hint.
QSize CurrentSize(const QLabel* label) { return label->wordWrap() ? label->maximumSize() : label->sizeHint(); }

QSize SizeWithin(const QLabel* label, int limit)
{
    const QSize current = CurrentSize(label);
    return current.width() > limit ? WrappedSize(label, limit) : current;
}

int ColumnWidth(const LabelColumn& column)
{
    int width = 0;
    for (const QLabel* label : column) {
        width = std::max(width, CurrentSize(label).width());
    }
    return width;
}

// The next narrower width of a column: that of its widest label wrapped onto one more line. Every label of
// the column wider than that wraps too, so that labels alike ("... X:", "... Y:") wrap alike.
int NarrowerLimit(const LabelColumn& column)
{
    const auto widest = std::max_element(column.begin(), column.end(), [](const QLabel* a, const QLabel* b) {
        return CurrentSize(a).width() < CurrentSize(b).width();
    });
    return WrappedSize(*widest, CurrentSize(*widest).width() - 1).width();
}

// The tallest text of the column after one narrowing step, or nothing when the column cannot get narrower.
std::optional<int> HeightAfterNarrowing(const LabelColumn& column)
{
    const int limit = NarrowerLimit(column);
    int width = 0;
    int height = 0;
    for (const QLabel* label : column) {
        const QSize size = SizeWithin(label, limit);
        width = std::max(width, size.width());
        height = std::max(height, size.height());
    }
    return width < ColumnWidth(column) ? std::optional<int>(height) : std::nullopt;
}

void Narrow(const LabelColumn& column)
{
    const int limit = NarrowerLimit(column);
    for (QLabel* label : column) {
        if (CurrentSize(label).width() <= limit) {
            continue;
        }
        const int width = WrappedSize(label, limit).width();
        label->setWordWrap(true);
        // The label's height for a width is bounded by its present fixed size, so that goes first.
        label->setMinimumSize(0, 0);
        label->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        label->setFixedSize(width, label->heightForWidth(width));
    }
}

std::map<int, LabelColumn> LabelColumns(const QGridLayout* grid)
{
    std::map<int, LabelColumn> columns;
    for (int index = 0; index < grid->count(); ++index) {
        auto* label = qobject_cast<QLabel*>(grid->itemAt(index)->widget());
        if (label == nullptr) {
            continue;
        }
        int row = 0;
        int column = 0;
        int rowSpan = 0;
        int columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        columns[column].push_back(label);
    }
    return columns;
}

// The column whose next narrowing step leaves the fewest lines, the widest of those; null when no column can
// get narrower.
const LabelColumn* NextColumnToNarrow(const std::map<int, LabelColumn>& columns)
{
    const LabelColumn* chosen = nullptr;
    int chosenHeight = 0;
    for (const auto& [index, column] : columns) {
        const std::optional<int> height = HeightAfterNarrowing(column);
        if (height && (chosen == nullptr || *height < chosenHeight ||
                       (*height == chosenHeight && ColumnWidth(column) > ColumnWidth(*chosen)))) {
            chosen = &column;
            chosenHeight = *height;
        }
    }
    return chosen;
}

}  // namespace

void GridLabelWrapper::FitIntoMaximumWidth(QGroupBox* box)
{
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (grid == nullptr) {
        return;
    }
    const std::map<int, LabelColumn> columns = LabelColumns(grid);
    grid->invalidate();
    while (box->sizeHint().width() > box->maximumWidth()) {
        const LabelColumn* column = NextColumnToNarrow(columns);
        if (column == nullptr) {
            return;
        }
        Narrow(*column);
        grid->invalidate();
    }
}
