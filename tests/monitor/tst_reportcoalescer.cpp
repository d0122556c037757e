#include "reportcoalescer.h"

#include <QSignalSpy>
#include <QtTest>

class TestReportCoalescer : public QObject
{
    Q_OBJECT

private slots:
    void burstFoldsToNewestOfEachKind();
    void idleAgainAfterQuietFrame();
};

void TestReportCoalescer::burstFoldsToNewestOfEachKind()
{
    ReportCoalescer coalescer;
    QSignalSpy status(&coalescer, &ReportCoalescer::statusReady);
    QSignalSpy lamps(&coalescer, &ReportCoalescer::lampsReady);
    QSignalSpy values(&coalescer, &ReportCoalescer::valuesReady);

    coalescer.takeStatus(0); // idle: through at once, and a frame begins
    QCOMPARE(status.count(), 1);
    for (int i = 1; i <= 500; ++i) {
        coalescer.takeStatus(i);
        QBitArray bits(2);
        bits.setBit(0, i % 2);
        coalescer.takeLamps(bits);
        coalescer.takeValues(QByteArray(1, char(i)));
    }
    QCOMPARE(status.count(), 1);
    QCOMPARE(lamps.count(), 0);
    QCOMPARE(values.count(), 0);

    // When the frame is over, the newest of each kind, once.
    QTRY_COMPARE(status.count(), 2);
    QCOMPARE(status.at(1).at(0).toInt(), 500);
    QCOMPARE(lamps.count(), 1);
    QCOMPARE(lamps.at(0).at(0).value<QBitArray>().testBit(0), false);
    QCOMPARE(values.count(), 1);
    QCOMPARE(values.at(0).at(0).toByteArray(), QByteArray(1, char(500 & 0xFF)));
    QTest::qWait(3 * ReportCoalescer::FrameMs);
    QCOMPARE(status.count(), 2);
}

void TestReportCoalescer::idleAgainAfterQuietFrame()
{
    ReportCoalescer coalescer;
    QSignalSpy values(&coalescer, &ReportCoalescer::valuesReady);
    coalescer.takeValues("a");
    QTest::qWait(3 * ReportCoalescer::FrameMs); // a frame with nothing new ends the burst
    coalescer.takeValues("b");
    QCOMPARE(values.count(), 2);
    QCOMPARE(values.at(1).at(0).toByteArray(), QByteArray("b"));
}

QTEST_MAIN(TestReportCoalescer)
#include "tst_reportcoalescer.moc"
