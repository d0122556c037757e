#include <monitor/reportcoalescer.h>

ReportCoalescer::ReportCoalescer(QObject *parent) : QObject(parent)
{
    frame.setSingleShot(true);
    frame.setInterval(FrameMs);
    connect(&frame, &QTimer::timeout, this, &ReportCoalescer::frameOver);
}

void ReportCoalescer::takeStatus(int value)
{
    statuses.append(value);
    deliverOrWait();
}

void ReportCoalescer::takeLamps(QBitArray lamps)
{
    this->lamps = std::move(lamps);
    deliverOrWait();
}

void ReportCoalescer::takeValues(QByteArray report)
{
    values.append(std::move(report));
    deliverOrWait();
}

void ReportCoalescer::deliverOrWait()
{
    // Within a frame reports wait for its end.
    if (frame.isActive())
        return;
    deliver();
    frame.start();
}

void ReportCoalescer::frameOver()
{
    if (statuses.isEmpty() && !lamps && values.isEmpty())
        return; // idle again: the next report goes through at once
    deliver();
    frame.start();
}

void ReportCoalescer::deliver()
{
    // Taken out first: a receiver that runs the event loop must not change them under us.
    const QVector<int> statusBatch = std::exchange(statuses, {});
    const QVector<QByteArray> valueBatch = std::exchange(values, {});
    for (int value : statusBatch)
        emit statusReady(value);
    if (lamps)
        emit lampsReady(*std::exchange(lamps, std::nullopt));
    for (const QByteArray &report : valueBatch)
        emit valuesReady(report);
}
