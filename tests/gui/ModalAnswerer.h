#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

// Answers every modal dialog that opens while it lives, so that no test waits on a user: a message box is
// recorded, shown to inspectBox when one is set, and confirmed with its first button; a file dialog is recorded with
// its start folder and gets the next queued answer, or is cancelled when none is queued.
class ModalAnswerer : public QObject {
public:
    struct Box {
        QString title;
        QString text;
    };

    ModalAnswerer()
    {
        connect(&timer, &QTimer::timeout, this, &ModalAnswerer::Answer);
        timer.start(20);
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const Box& box : boxes) {
            texts << box.text;
        }
        return texts;
    }

    std::vector<Box> boxes;
    QStringList fileDialogFolders;
    QStringList fileAnswers;
    std::function<void(QMessageBox*)> inspectBox;

private:
    void Answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes.push_back({box->windowTitle(), box->text()});
            if (inspectBox) {
                inspectBox(box);
            }
            if (box->buttons().isEmpty()) {
                box->done(0);
            } else {
                box->buttons().first()->click();
            }
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            fileDialogFolders << dialog->directory().absolutePath();
            if (fileAnswers.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(fileAnswers.takeFirst());
                static_cast<QDialog*>(dialog)->accept();
            }
        }
    }

    QTimer timer;
};
