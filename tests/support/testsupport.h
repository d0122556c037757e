#pragma once
// Small helpers the test programs share.

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QTest>
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

// A hundred removals and arrivals of `device`; sometimes the removal is handled before
// the device is back, sometimes both wait for the same pass of the event loop. Every
// tenth round the new reader must deliver (`delivered` grows) before the next.
template <typename Device, typename Count> bool replugStorm(Device &device, Count delivered)
{
    for (int i = 0; i < 100; ++i) {
        device.unplug();
        if (i % 2 == 0)
            QCoreApplication::processEvents();
        device.plug();
        QCoreApplication::processEvents();
        const int before = delivered();
        if (i % 10 == 9 && !QTest::qWaitFor([&] { return delivered() > before; }, 5000))
            return false;
    }
    return true;
}

// Whole files: readFile gives "<none>" for a file that cannot be read; writeFile makes the
// folders it needs.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &content);

// A firmware file: header (DSP length, version, ARM length, 0), then the images; `extra`
// bytes more, or fewer, than the header says.
QByteArray firmwareBytes(quint32 dspLength, qint32 version, quint32 armLength, int extra = 0);
