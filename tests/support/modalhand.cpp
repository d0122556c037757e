#include "modalhand.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

ModalHand::ModalHand()
{
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] { look(); });
    timer.start();
    clock.start();
}

void ModalHand::look()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (box->property("answered").toBool())
            return;
        if (!box->property("seen").toBool()) {
            box->setProperty("seen", true);
            box->setProperty("shownAt", clock.elapsed());
            QStringList seen{box->windowTitle(), box->text()};
            for (QAbstractButton *button : box->buttons())
                seen << button->text();
            boxes << seen.join(" | ");
            boxTexts << box->text();
            details << QString("icon %1, default %2")
                           .arg(box->icon())
                           .arg(box->defaultButton() ? box->defaultButton()->text() : "none");
        }
        if (clock.elapsed() - box->property("shownAt").toLongLong() < holdMs)
            return;
        box->setProperty("answered", true);
        QAbstractButton *answer = answers.contains(box->text())
                                      ? box->button(answers.value(box->text()))
                                      : box->buttons().first();
        answer->click();
    } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        // A dialog that did not take its file (one that does not exist) is cancelled.
        const QString next =
            files.isEmpty() || dialog->property("tried").toBool() ? QString() : files.takeFirst();
        if (next.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setProperty("tried", true);
        // The name field is what the dialog reads on accept; selectFile leaves it
        // empty while the folder's listing is still loading.
        dialog->selectFile(next);
        if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
            name->setText(next);
        QMetaObject::invokeMethod(dialog, "accept");
        if (removeChosenFile)
            QFile::remove(next);
    }
}
