#pragma once
// An online check asked for before the device's version reply has come: it waits for
// the reply, as long as the device is given to answer, with a busy cursor, then runs;
// without a reply in time it gives up, so that the user hears of it.

#include <QObject>
#include <QTimer>

class VersionWait : public QObject
{
    Q_OBJECT
public:
    VersionWait(int limitMs, QObject *parent = nullptr);
    ~VersionWait() override;

    // Starts waiting; a second call while waiting changes nothing.
    void start();
    bool waiting() const { return limit.isActive(); }
    // The device's version reply has come.
    void versionArrived();

signals:
    void ready();
    void gaveUp();

private:
    void stop();

    QTimer limit;
};

// The busy cursor over the whole program while it exists.
class BusyCursor
{
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
