#pragma once
// What the updater's window tests share: a window whose process exit is recorded
// instead of taken, a hand that answers modal boxes and file dialogs, and firmware
// files written to a temporary folder.

#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

class TestWindow : public MainWindow
{
public:
    using MainWindow::MainWindow;
    int exitCode = -1;

protected:
    void endProcess(int code) override { exitCode = code; }
};

struct SeenBox
{
    QString title;
    QString text;
    QStringList buttons;
};

// Closes every modal message box as it appears (with its first button) and answers
// file dialogs with the next queued path (an empty path cancels).
class ModalHand : public QObject
{
public:
    ModalHand()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { look(); });
        timer.start();
    }
    QList<SeenBox> boxes;
    QStringList files;
    bool answerBoxes = true;

    QStringList texts() const
    {
        QStringList result;
        for (const SeenBox &box : boxes)
            result << box.text;
        return result;
    }

private:
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            if (!answerBoxes || box->property("seen").toBool())
                return;
            box->setProperty("seen", true);
            SeenBox seen{box->windowTitle(), box->text(), {}};
            for (QAbstractButton *button : box->buttons())
                seen.buttons << button->text();
            boxes << seen;
            box->buttons().first()->click();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            const QString next = files.isEmpty() ? QString() : files.takeFirst();
            if (next.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(next);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        }
    }
    QTimer timer;
};

// A firmware file: header (DSP length, version, ARM length, 0), then the images.
inline QByteArray firmwareBytes(quint32 dspLength, qint32 version, quint32 armLength, int extra = 0)
{
    QByteArray data(16, '\0');
    qToBigEndian(dspLength, data.data());
    qToBigEndian(quint32(version), data.data() + 4);
    qToBigEndian(armLength, data.data() + 8);
    for (quint32 i = 0; i < dspLength + armLength; ++i)
        data.append(char((i * 7 + 3) & 0xFF));
    if (extra > 0)
        data.append(QByteArray(extra, '\x5A'));
    else if (extra < 0)
        data.chop(-extra);
    return data;
}

inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}
