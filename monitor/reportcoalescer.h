#pragma once
// Stands between the reader and the window: a report that arrives while the panel
// is idle goes through at once; reports arriving faster than one per frame wait for
// the end of the frame and then go through together, so that the widgets repaint
// once for all of them. A screen cannot show more, and painting a thousand times a
// second would keep the GUI thread busy for nothing.
//
// Only the painting is folded, not the reports: the ruler and the bar take a value
// by rules that depend on what they took before (a handle blocked by a neighbour, a
// value out of the bar's range), so every status and value report is handed on, in
// order. The lamps show the newest bits whatever came before: only those are kept.

#include <QBitArray>
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QVector>
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
    QVector<int> statuses;
    std::optional<QBitArray> lamps;
    QVector<QByteArray> values;
};
