#include "gui/IntRangeValidator.h"

IntRangeValidator::IntRangeValidator(int bottom, int top, QObject* parent) : QIntValidator(bottom, top, parent) {}

void IntRangeValidator::fixup(QString& input) const
{
    if (input.isEmpty()) {
        return;
    }
    // Text that does not read as a number counts as 0.
    const qlonglong number = input.toLongLong(nullptr, 10);
    if (number < bottom()) {
        input = QString::number(bottom());
    } else if (number > top()) {
        input = QString::number(top());
    }
}
