#include "pixelprobe.h"
#include <gauges/lcdnumber.h>

#include <QtTest>

namespace {

const QColor Background(100, 100, 100);

// Inside each segment of a 150 x 200 cell: a-g as on any seven-segment part,
// h and i the 1's pair, clear of the turned strokes of N and R.
const QList<QPointF> SegmentProbes = {{75, 26}, {122, 62}, {122, 130}, {75, 174}, {27, 130},
                                      {27, 62}, {75, 100}, {62, 70},   {62, 145}};

bool lit(const QImage &image, const QPointF &at)
{
    return !near(image.pixel(at.toPoint()), Background, 30);
}

} // namespace

class TestLcdNumber : public QObject
{
    Q_OBJECT

private slots:
    void charactersLightTheirSegments_data();
    void charactersLightTheirSegments();
};

void TestLcdNumber::charactersLightTheirSegments_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("segments");

    const QStringList digits = {"abcdef", "hi",     "abdeg", "abcdg",   "bcfg",
                                "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    for (int n = 0; n < digits.size(); ++n)
        QTest::addRow("%d", n) << n << digits.at(n);
    QTest::newRow("N") << int(LcdSegments::N) << "bcef";
    QTest::newRow("R") << int(LcdSegments::R) << "abefg";
    // Anything outside the table draws the background only.
    for (int n : {int(LcdSegments::Blank), -1, 1000})
        QTest::addRow("%d", n) << n << "";
}

void TestLcdNumber::charactersLightTheirSegments()
{
    QFETCH(int, number);
    QFETCH(QString, segments);
    LcdNumber lcd;
    lcd.resize(150, 200);
    lcd.setNumber(number);
    const QImage image = grabbed(lcd);

    for (int i = 0; i < SegmentProbes.size(); ++i)
        QVERIFY2(lit(image, SegmentProbes.at(i)) == segments.contains(QChar('a' + i)),
                 qPrintable(QChar('a' + i)));
}

QTEST_MAIN(TestLcdNumber)
#include "tst_lcdnumber.moc"
