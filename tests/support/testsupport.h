#pragma once
// Small helpers the test programs share.

#include <QByteArray>
#include <QEventLoop>
#include <QString>
#include <QTimer>

// The threads of this process now (Linux: /proc/self/task); -1 where they cannot be counted.
int threadsInProcess();

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

// Whole files: readFile gives "<none>" for a file that cannot be read; writeFile makes the
// folders it needs.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &content);

// A firmware file: header (DSP length, version, ARM length, 0), then the images; `extra`
// bytes more, or fewer, than the header says.
QByteArray firmwareBytes(quint32 dspLength, qint32 version, quint32 armLength, int extra = 0);
