#pragma once
// What the updater's window tests share: a window whose process exit is recorded, a
// hand that answers modal boxes and file dialogs, and firmware files.

#include <emulator/emulatedbackend.h>
#include <updater/mainwindow.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

class TestWindow : public updater::MainWindow
{
public:
    using MainWindow::MainWindow;
    int exitCode = -1;

protected:
    void endProcess(int code) override { exitCode = code; }
};

class WindowTest : public QObject
{
    Q_OBJECT
protected:
    hidplatform::EmulatedBackend backend;

private slots:
    void initTestCase() { Q_INIT_RESOURCE(updater); }
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        hidplatform::setBackend(&backend);
    }
    void cleanup() { hidplatform::setBackend(nullptr); }
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
        clock.start();
    }
    QStringList boxes; // "title | text | button ..." for each box seen
    QStringList files;
    int holdMs = 0;                // how long each box stays open
    bool removeChosenFile = false; // gone when the window reads it

    QStringList texts() const { return boxTexts; }

private:
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            if (!box->property("seen").toBool()) {
                box->setProperty("seen", true);
                box->setProperty("shownAt", clock.elapsed());
                QStringList seen{box->windowTitle(), box->text()};
                for (QAbstractButton *button : box->buttons())
                    seen << button->text();
                boxes << seen.join(" | ");
                boxTexts << box->text();
            }
            if (clock.elapsed() - box->property("shownAt").toLongLong() < holdMs)
                return;
            box->buttons().first()->click();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            // A dialog that did not take its file (one that does not exist) is cancelled.
            const QString next = files.isEmpty() || dialog->property("tried").toBool()
                                     ? QString()
                                     : files.takeFirst();
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
    QStringList boxTexts;
    QTimer timer;
    QElapsedTimer clock;
};

// Runs the event loop until `done` holds or `timeoutMs` passes. Unlike QTest::qWait,
// which sleeps 10 ms between rounds, this lets 2 ms timers keep their pace.
template <typename Predicate> bool spinUntil(Predicate done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(5);
    if (!done())
        loop.exec();
    return done();
}

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

// Presses `button` on `on` (unless `press` is false), moves by (30, 15), releases and
// moves on: how far `window` had gone after the first move and after the last.
inline QList<QPoint> dragged(QWidget *window, QWidget *on, Qt::MouseButton button,
                             bool press = true)
{
    const auto send = [on, button](QEvent::Type type, QPoint at) {
        const auto held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, at, on->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QApplication::sendEvent(on, &event);
    };
    const QPoint start = window->pos();
    if (press)
        send(QEvent::MouseButtonPress, QPoint(5, 5));
    send(QEvent::MouseMove, QPoint(35, 20));
    QList<QPoint> moved{window->pos() - start};
    send(QEvent::MouseButtonRelease, QPoint(35, 20));
    send(QEvent::MouseMove, QPoint(60, 50));
    return moved << window->pos() - start;
}
