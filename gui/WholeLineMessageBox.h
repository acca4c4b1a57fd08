#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// The desktop application's message boxes, each with the single button OK. QMessageBox wraps a text wider than
// about half the screen at that width, which leaves the last words of a long line on a line of their own; the
// texts here break their lines themselves, so each box grows to show every line whole, as far as the width
// QMessageBox allows on the screen. Only a line longer than that wraps, inside the box, laid out by
// MessageTextLayout: between words or after the "/" of a long file path, in even lines without a word alone on
// one, in a box no wider than those lines need. The text is shown as plain text, exactly as given.
class WholeLineMessageBox {
public:
    WholeLineMessageBox() = delete;

    static void Information(QWidget* parent, const QString& title, const QString& text);
    static void Warning(QWidget* parent, const QString& title, const QString& text);
    // As QMessageBox::about: the window's icon as the box's picture.
    static void About(QWidget* parent, const QString& title, const QString& text);

private:
    static void Show(QMessageBox& box);
    static void FitTextLabel(QMessageBox& box);
};
