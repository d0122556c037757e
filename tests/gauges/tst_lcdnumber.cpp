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
    void resizeRescalesStrokes();
};

void TestLcdNumber::charactersLightTheirSegments_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("segments");
    QTest::addColumn<QLineF>("turned"); // where a turned stroke runs, if any

    const QStringList digits = {"abcdef", "hi",     "abdeg", "abcdg",   "bcfg",
                                "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    for (int n = 0; n < digits.size(); ++n)
        QTest::addRow("%d", n) << n << digits.at(n) << QLineF();
    QTest::newRow("N") << int(LcdSegments::N) << "bcef" << QLineF(45, 25, 126, 154);
    QTest::newRow("R") << int(LcdSegments::R) << "abefg" << QLineF(45, 113, 120, 156);
    // Anything outside the table draws the background only.
    for (int n : {int(LcdSegments::Blank), -1, 1000})
        QTest::addRow("%d", n) << n << "" << QLineF();
}

void TestLcdNumber::charactersLightTheirSegments()
{
    QFETCH(int, number);
    QFETCH(QString, segments);
    QFETCH(QLineF, turned);
    LcdNumber lcd;
    lcd.resize(150, 200);
    lcd.setNumber(number);
    const QImage image = grabbed(lcd);

    for (int i = 0; i < SegmentProbes.size(); ++i)
        QVERIFY2(lit(image, SegmentProbes.at(i)) == segments.contains(QChar('a' + i)),
                 qPrintable(QChar('a' + i)));
    // The turned stroke covers its whole run (in its own turned gradient).
    for (double t = 0.1; !turned.isNull() && t < 0.95; t += 0.2)
        QVERIFY2(!near(image.pixel(turned.pointAt(t).toPoint()), Background, 30),
                 qPrintable(QString::number(t)));
    // The holes, the margin and the gaps between segments show the background.
    const QList<QPointF> gaps = {{75, 60},  {75, 140},  {10, 10}, {140, 190},
                                 {21, 100}, {129, 100}, {22, 15}, {75, 112}};
    for (const QPointF &gap : gaps)
        QVERIFY2(near(image.pixel(gap.toPoint()), Background),
                 qPrintable(QString("%1,%2").arg(gap.x()).arg(gap.y())));
    if (segments.isEmpty()) {
        QImage blank(image.size(), image.format());
        blank.fill(Background);
        QCOMPARE(image, blank);
    }
}

void TestLcdNumber::resizeRescalesStrokes()
{
    LcdNumber lcd;
    lcd.setNumber(8);
    lcd.resize(150, 200);
    lcd.grab(); // painted once at another size before
    const int w = 300, h = 400;
    lcd.resize(w, h);
    const QImage image = grabbed(lcd);
    int across = 0, down = 0;
    for (int x = 0; x < w / 2; ++x)
        across += lit(image, QPointF(x, h / 4));
    for (int y = h / 4; y < 3 * h / 4; ++y)
        down += lit(image, QPointF(w / 2, y));
    QCOMPARE(across, w / 10);     // upper-left stroke
    QCOMPARE(down, 2 * (h / 30)); // middle stroke
}

QTEST_MAIN(TestLcdNumber)
#include "tst_lcdnumber.moc"
