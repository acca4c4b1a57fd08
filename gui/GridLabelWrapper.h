#pragma once

class QGroupBox;

// Makes the fields of a group box with a grid layout fit the box's maximum width by wrapping the texts of
// its labels onto more lines, instead of letting the layout squeeze labels and fields below their size.
class GridLabelWrapper {
public:
    // Narrows one label column of the box's grid at a time, always the step that leaves its labels with the
    // fewest lines (the widest column when several tie), until the box's size hint fits its maximum width or
    // no label can be narrowed further. A wrapped label is fixed to the size of its wrapped text, so its size
    // hint, and with it the size of the page, already holds the extra lines.
    static void FitIntoMaximumWidth(QGroupBox* box);
};
