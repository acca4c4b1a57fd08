#pragma once

#include <QObject>
#include <QString>

#include <QBoxLayout>
class QPushButton;

// A page of the main window. A page is not a widget itself: it builds its widgets into one top layout, which
// the window places into a page widget, and it switches its own buttons off while a firmware write runs.
class Section : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~Section() override = default;

    virtual QBoxLayout* GetTopLayout() = 0;
    virtual void EnableButtons() = 0;
    virtual void DisableButtons() = 0;

    // Gives the button the picture at the path as a 24 x 24 icon; a picture that does not load leaves the
    // button without icon.
    static void SetIcon(QPushButton* button, const QString& picturePath);
};
