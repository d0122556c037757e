#include "lcdnumber.h"
#include "pixelprobe.h"

#include <QScreen>
#include <QtTest>

namespace {

const QColor Background(100, 100, 100);

// Points inside each segment of a 150 x 200 cell with space 20 (stroke 15,
// middle at 100), a-g as on any seven-segment part, h and i the 1's pair.
// They keep clear of the turned strokes of N and R.
const QList<QPointF> SegmentProbes = {{75, 26}, {122, 62}, {122, 130}, {75, 174}, {27, 130},
                                      {27, 62}, {75, 100}, {62, 70},   {62, 145}};

// The segment gradient's colour at row y of a widget h pixels high.
QColor segmentColorAt(const LcdNumber &lcd, double y, int h)
{
    const QColor a = lcd.getNumberColorStart();
    const QColor b = lcd.getNumberColorEnd();
    const double f = y / h;
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * f,
                            a.greenF() + (b.greenF() - a.greenF()) * f,
                            a.blueF() + (b.blueF() - a.blueF()) * f);
}

bool lit(const QImage &image, const LcdNumber &lcd, const QPointF &at)
{
    return near(image.pixel(at.toPoint()), segmentColorAt(lcd, at.y(), image.height()));
}

class CountingLcd : public LcdNumber
{
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        ++paints;
        LcdNumber::paintEvent(event);
    }
};

} // namespace

class TestLcdNumber : public QObject
{
    Q_OBJECT

private slots:
    void polygonTable();
    void charactersLightTheirSegments_data();
    void charactersLightTheirSegments();
    void resizeRescalesStrokes_data();
    void resizeRescalesStrokes();
    void oneShiftShowsAtNextRepaint();
};

void TestLcdNumber::polygonTable()
{
    // 150 x 200 with space 20: stroke 15, half height 6, gap 5, middle 100.
    using P = QPolygonF;
    const QVector<QPolygonF> expected = {
        P({{25, 20}, {40, 32}, {110, 32}, {125, 20}}),                              // top
        P({{20, 20}, {35, 32}, {35, 89}, {27.5, 95}, {20, 89}}),                    // upper left
        P({{115, 32}, {130, 20}, {130, 89}, {122.5, 95}, {115, 89}}),               // upper right
        P({{27.5, 100}, {35, 94}, {115, 94}, {122.5, 100}, {115, 106}, {35, 106}}), // middle
        P({{20, 111}, {27.5, 105}, {35, 111}, {35, 168}, {20, 180}}),               // lower left
        P({{115, 111}, {122.5, 105}, {130, 111}, {130, 180}, {115, 168}}),          // lower right
        P({{25, 180}, {40, 168}, {110, 168}, {125, 180}})};                         // bottom
    LcdNumber lcd;
    lcd.resize(150, 200);
    for (int s = LcdSegments::Top; s <= LcdSegments::Bottom; ++s)
        QCOMPARE(lcd.segments().polygon(LcdSegments::Segment(s)), expected.at(s));
}

void TestLcdNumber::charactersLightTheirSegments_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("segments");
    QTest::addColumn<QLineF>("turned"); // where a turned stroke runs, if any

    const QStringList digits = {"abcdef", "hi",     "abdeg", "abcdg",   "bcfg",
                                "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    for (int n = 0; n < digits.size(); ++n)
        QTest::addRow("%d", n) << n << digits.at(n) << QLineF();
    QTest::newRow("A") << int(LcdSegments::A) << "abcefg" << QLineF();
    QTest::newRow("N") << int(LcdSegments::N) << "bcef" << QLineF(45, 25, 126, 154);
    QTest::newRow("R") << int(LcdSegments::R) << "abefg" << QLineF(45, 113, 120, 156);
    // Anything outside the table draws the background only.
    for (int n : {int(LcdSegments::Blank), 14, -1, 1000})
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
        QVERIFY2(lit(image, lcd, SegmentProbes.at(i)) == segments.contains(QChar('a' + i)),
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

void TestLcdNumber::resizeRescalesStrokes_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("strokeWidth");  // upper-left stroke: W div 10
    QTest::addColumn<int>("middleHeight"); // middle stroke: 2 x H div 30
    QTest::newRow("wider") << QSize(300, 200) << 30 << 12;
    QTest::newRow("taller") << QSize(150, 400) << 15 << 26;
}

void TestLcdNumber::resizeRescalesStrokes()
{
    QFETCH(QSize, size);
    LcdNumber lcd;
    lcd.setNumber(8);
    lcd.resize(150, 200);
    lcd.grab(); // painted once at another size before
    lcd.resize(size);
    const QImage image = grabbed(lcd);
    const int w = size.width(), h = size.height();
    int across = 0, down = 0;
    for (int x = 0; x < w / 2; ++x)
        across += !near(image.pixel(x, h / 4), Background, 30);
    for (int y = h / 4; y < 3 * h / 4; ++y)
        down += !near(image.pixel(w / 2, y), Background, 30);
    QTEST(across, "strokeWidth");
    QTEST(down, "middleHeight");
}

void TestLcdNumber::oneShiftShowsAtNextRepaint()
{
    CountingLcd lcd;
    lcd.resize(150, 200);
    lcd.setNumber(1);
    lcd.show();
    QVERIFY(QTest::qWaitForWindowExposed(&lcd));
    QTRY_VERIFY(lcd.paints > 0);
    QTest::qWait(20);
    auto onScreen = [&] {
        return lcd.windowHandle()
            ->screen()
            ->grabWindow(lcd.winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const QPointF upperRight = SegmentProbes.at(1), lowerRight = SegmentProbes.at(2);
    const QPointF by60(60, 0), by30(30, 0);

    // The shift is stored without a repaint: the screen still shows the 1 60 px in.
    lcd.paints = 0;
    lcd.setOne_Space_X(30);
    QTest::qWait(50);
    QCOMPARE(lcd.paints, 0);
    QImage shown = onScreen();
    QVERIFY(lit(shown, lcd, upperRight - by60));
    QVERIFY(!lit(shown, lcd, upperRight - by30));

    // Something else repaints: now the 1 sits 30 px left of the right-hand segments.
    lcd.update();
    QTRY_VERIFY(lcd.paints > 0);
    shown = onScreen();
    for (const QPointF &segment : {upperRight, lowerRight}) {
        QVERIFY(lit(shown, lcd, segment - by30));
        QVERIFY(!lit(shown, lcd, segment - by60));
        QVERIFY(!lit(shown, lcd, segment));
    }
}

QTEST_MAIN(TestLcdNumber)
#include "tst_lcdnumber.moc"
