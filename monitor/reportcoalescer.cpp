#include "reportcoalescer.h"

ReportCoalescer::ReportCoalescer(QObject *parent) : QObject(parent)
{
    frame.setSingleShot(true);
    frame.setInterval(FrameMs);
    connect(&frame, &QTimer::timeout, this, &ReportCoalescer::frameOver);
}

void ReportCoalescer::takeStatus(int value)
{
    status = value;
    deliverOrWait();
}

void ReportCoalescer::takeLamps(QBitArray lamps)
{
    this->lamps = std::move(lamps);
    deliverOrWait();
}

void ReportCoalescer::takeValues(QByteArray report)
{
    values = std::move(report);
    deliverOrWait();
}

void ReportCoalescer::deliverOrWait()
{
    // Within a frame the newest report waits, replacing any older one of its kind.
    if (frame.isActive())
        return;
    deliver();
    frame.start();
}

void ReportCoalescer::frameOver()
{
    if (!status && !lamps && !values)
        return; // idle again: the next report goes through at once
    deliver();
    frame.start();
}

void ReportCoalescer::deliver()
{
    if (status)
        emit statusReady(*std::exchange(status, std::nullopt));
    if (lamps)
        emit lampsReady(*std::exchange(lamps, std::nullopt));
    if (values)
        emit valuesReady(*std::exchange(values, std::nullopt));
}
