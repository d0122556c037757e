#pragma once
// Stands between the reader and the window: a report that arrives while the panel
// is idle goes through at once; reports arriving faster than one per frame are
// folded into the newest of each kind, delivered when the frame is over. A screen
// cannot show more, and painting a thousand times a second would keep the GUI
// thread busy for nothing.

#include <QBitArray>
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <optional>

class ReportCoalescer : public QObject
{
    Q_OBJECT
public:
    static constexpr int FrameMs = 16;

    explicit ReportCoalescer(QObject *parent = nullptr);

public slots:
    void takeStatus(int value);
    void takeLamps(QBitArray lamps);
    void takeValues(QByteArray report);

signals:
    void statusReady(int value);
    void lampsReady(QBitArray lamps);
    void valuesReady(QByteArray report);

private:
    void deliverOrWait();
    void frameOver();
    void deliver();

    QTimer frame;
    std::optional<int> status;
    std::optional<QBitArray> lamps;
    std::optional<QByteArray> values;
};
