#include <updater/versionwait.h>

#include <QApplication>

VersionWait::VersionWait(int limitMs, QObject *parent) : QObject(parent)
{
    limit.setSingleShot(true);
    limit.setInterval(limitMs);
    connect(&limit, &QTimer::timeout, this, [this] {
        QApplication::restoreOverrideCursor();
        emit gaveUp();
    });
}

VersionWait::~VersionWait()
{
    stop();
}

void VersionWait::start()
{
    if (waiting())
        return;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    limit.start();
}

void VersionWait::versionArrived()
{
    if (!waiting())
        return;
    stop();
    emit ready();
}

void VersionWait::stop()
{
    if (!waiting())
        return;
    limit.stop();
    QApplication::restoreOverrideCursor();
}

BusyCursor::BusyCursor()
{
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

BusyCursor::~BusyCursor()
{
    QApplication::restoreOverrideCursor();
}
