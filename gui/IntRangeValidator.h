#pragma once

#include <QIntValidator>

// A whole-number validator whose fix-up, run when editing ends on an incomplete number, clamps a number
// outside the range to the nearest bound. An empty text stays empty: an empty field means "not set".
class IntRangeValidator : public QIntValidator {
public:
    IntRangeValidator(int bottom, int top, QObject* parent = nullptr);

    void fixup(QString& input) const override;
};
