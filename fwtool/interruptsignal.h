#pragma once
// Ctrl+C as a Qt signal on the thread that made the object. The system's handler
// only passes the word on (a byte into a pipe on POSIX, a queued call on Windows,
// where the handler runs on a thread of its own), so the update stops between two
// ticks of its timers and never inside one. While the object lives, Ctrl+C does not
// end the process.

#include <QObject>

class InterruptSignal : public QObject
{
    Q_OBJECT
public:
    explicit InterruptSignal(QObject *parent = nullptr);
    ~InterruptSignal() override;

signals:
    void interrupted();
};
