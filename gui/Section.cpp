#include "gui/Section.h"

#include <QIcon>
#include <QPixmap>
#include <QPushButton>

void Section::SetIcon(QPushButton* button, const QString& picturePath)
{
    const QPixmap picture(picturePath);
    if (!picture.isNull()) {
        button->setIcon(QIcon(picture));
    }
    button->setIconSize(QSize(24, 24));
}
