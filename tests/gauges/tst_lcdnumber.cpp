#include "lcdnumber.h"

#include <QScreen>
#include <QTransform>
#include <QtTest>

namespace {

using Segment = LcdSegments::Segment;

const QColor Background(100, 100, 100);

bool near(QRgb pixel, const QColor &color, int tolerance = 12)
{
    return qAbs(qRed(pixel) - color.red()) <= tolerance &&
           qAbs(qGreen(pixel) - color.green()) <= tolerance &&
           qAbs(qBlue(pixel) - color.blue()) <= tolerance;
}

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

// A point well inside a convex segment: the mean of its corners.
QPointF inside(const QPolygonF &polygon)
{
    QPointF sum;
    for (const QPointF &p : polygon)
        sum += p;
    return sum / polygon.size();
}

bool lit(const QImage &image, const LcdNumber &lcd, const QPointF &at)
{
    return near(image.pixel(at.toPoint()), segmentColorAt(lcd, at.y(), image.height()));
}

QImage render(LcdNumber &lcd)
{
    return lcd.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

LcdSegments cellOf(int w, int h, int space, int oneSpaceX = 60)
{
    LcdSegments::Input in;
    in.width = w;
    in.height = h;
    in.space = space;
    in.oneSpaceX = oneSpaceX;
    in.rLegOffsetX = 60;
    in.rLegOffsetY = 40;
    in.nDiagonalOffsetX = 10;
    in.nDiagonalOffsetY = 140;
    return LcdSegments(in);
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

Q_DECLARE_METATYPE(LcdSegments::Segment)

class TestLcdNumber : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void metaObject();
    void polygonTable_data();
    void polygonTable();
    void strokesFollowTheSize_data();
    void strokesFollowTheSize();
    void turnedStrokesLandInTheCell_data();
    void turnedStrokesLandInTheCell();
    void glyphTable_data();
    void glyphTable();
    void eightLightsSevenSegments();
    void outsideTheTableShowsBackground_data();
    void outsideTheTableShowsBackground();
    void repaintOnlyOnChange_data();
    void repaintOnlyOnChange();
    void oneShiftShowsAtNextRepaint();
    void resizeRescalesStrokes();
};

void TestLcdNumber::defaults()
{
    LcdNumber lcd;
    QCOMPARE(lcd.getNumber(), 0);
    QCOMPARE(lcd.getSpace(), 20);
    QCOMPARE(lcd.getOne_Space_X(), 60);
    QCOMPARE(lcd.getBgColorStart(), Background);
    QCOMPARE(lcd.getBgColorEnd(), Background);
    QCOMPARE(lcd.getNumberColorStart(), QColor(100, 184, 255));
    QCOMPARE(lcd.getNumberColorEnd(), QColor(79, 148, 205));
    QCOMPARE(lcd.sizeHint(), QSize(150, 200));
    QCOMPARE(lcd.minimumSizeHint(), QSize(20, 30));
}

void TestLcdNumber::metaObject()
{
    const QMetaObject *mo = &LcdNumber::staticMetaObject;
    const QStringList properties = {
        "number", "space", "bgColorStart", "bgColorEnd", "numberColorStart", "numberColorEnd"};
    QCOMPARE(mo->propertyCount() - mo->propertyOffset(), properties.size());
    for (int i = 0; i < properties.size(); ++i)
        QCOMPARE(QString(mo->property(mo->propertyOffset() + i).name()), properties.at(i));
    const QStringList methods = {"setNumber(int)",
                                 "setSpace(int)",
                                 "setBgColorStart(QColor)",
                                 "setBgColorEnd(QColor)",
                                 "setNumberColorStart(QColor)",
                                 "setNumberColorEnd(QColor)",
                                 "setOne_Space_X(int)"};
    QCOMPARE(mo->methodCount() - mo->methodOffset(), methods.size());
    for (int i = 0; i < methods.size(); ++i)
        QCOMPARE(QString(mo->method(mo->methodOffset() + i).methodSignature()), methods.at(i));
}

void TestLcdNumber::polygonTable_data()
{
    QTest::addColumn<Segment>("segment");
    QTest::addColumn<QPolygonF>("points");

    // 150 x 200 with space 20: stroke 15, half height 6, gap 5, middle 100.
    QTest::newRow("top") << LcdSegments::Top
                         << QPolygonF({{25, 20}, {40, 32}, {110, 32}, {125, 20}});
    QTest::newRow("upper left") << LcdSegments::UpperLeft
                                << QPolygonF({{20, 20}, {35, 32}, {35, 89}, {27.5, 95}, {20, 89}});
    QTest::newRow("upper right") << LcdSegments::UpperRight
                                 << QPolygonF(
                                        {{115, 32}, {130, 20}, {130, 89}, {122.5, 95}, {115, 89}});
    QTest::newRow("middle")
        << LcdSegments::Middle
        << QPolygonF({{27.5, 100}, {35, 94}, {115, 94}, {122.5, 100}, {115, 106}, {35, 106}});
    QTest::newRow("lower left") << LcdSegments::LowerLeft
                                << QPolygonF(
                                       {{20, 111}, {27.5, 105}, {35, 111}, {35, 168}, {20, 180}});
    QTest::newRow("lower right")
        << LcdSegments::LowerRight
        << QPolygonF({{115, 111}, {122.5, 105}, {130, 111}, {130, 180}, {115, 168}});
    QTest::newRow("bottom") << LcdSegments::Bottom
                            << QPolygonF({{25, 180}, {40, 168}, {110, 168}, {125, 180}});
    QTest::newRow("upper right of 1")
        << LcdSegments::UpperRightOfOne
        << QPolygonF({{55, 32}, {70, 20}, {70, 89}, {62.5, 95}, {55, 89}});
    QTest::newRow("lower right of 1")
        << LcdSegments::LowerRightOfOne
        << QPolygonF({{55, 111}, {62.5, 105}, {70, 111}, {70, 180}, {55, 168}});
    QTest::newRow("leg of R")
        << LcdSegments::LegOfR
        << QPolygonF({{95.5, 75}, {103, 69}, {180, 69}, {182.5, 75}, {175, 81}, {103, 81}});
    QTest::newRow("diagonal of N")
        << LcdSegments::DiagonalOfN
        << QPolygonF({{45.5, -25}, {53, -31}, {187, -31}, {197.5, -25}, {187, -19}, {53, -19}});
}

void TestLcdNumber::polygonTable()
{
    QFETCH(Segment, segment);
    QFETCH(QPolygonF, points);
    QCOMPARE(cellOf(150, 200, 20).polygon(segment), points);

    // The widget computes the same table from its own size and settings.
    LcdNumber lcd;
    lcd.resize(150, 200);
    QCOMPARE(lcd.segments().polygon(segment), points);
}

void TestLcdNumber::strokesFollowTheSize_data()
{
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("space");
    QTest::addColumn<QPolygonF>("top");
    QTest::addColumn<QPolygonF>("middle");

    // Stroke width W div 10, half height H div 30, gap W div 30, middle H div 2.
    QTest::newRow("300 x 400")
        << 300 << 400 << 0 << QPolygonF({{10, 0}, {40, 26}, {260, 26}, {290, 0}})
        << QPolygonF({{15, 200}, {30, 187}, {270, 187}, {285, 200}, {270, 213}, {30, 213}});
    QTest::newRow("odd size truncates")
        << 159 << 209 << 3 << QPolygonF({{8, 3}, {23, 15}, {136, 15}, {151, 3}})
        << QPolygonF({{10.5, 104}, {18, 98}, {141, 98}, {148.5, 104}, {141, 110}, {18, 110}});
}

void TestLcdNumber::strokesFollowTheSize()
{
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, space);
    const LcdSegments cell = cellOf(w, h, space);
    QTEST(cell.polygon(LcdSegments::Top), "top");
    QTEST(cell.polygon(LcdSegments::Middle), "middle");
}

void TestLcdNumber::turnedStrokesLandInTheCell_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::newRow("leg of R") << int(LcdSegments::R) << QPointF(45, 113) << QPointF(120, 156);
    QTest::newRow("diagonal of N") << int(LcdSegments::N) << QPointF(45, 25) << QPointF(126, 154);
}

void TestLcdNumber::turnedStrokesLandInTheCell()
{
    QFETCH(int, number);
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    const LcdSegments::Glyph glyph = LcdSegments::glyph(number);
    QVERIFY(glyph.turned.has_value());
    // Turned clockwise on screen about the origin, as a painter's rotate() does.
    const QTransform turn = QTransform().rotate(glyph.turnDegrees);
    const QPolygonF stroke = turn.map(cellOf(150, 200, 20).polygon(*glyph.turned));
    const QPointF tail = stroke.at(0);
    const QPointF tip = stroke.at(3);
    QVERIFY2(QLineF(tail, from).length() < 1.0,
             qPrintable(QString("%1,%2").arg(tail.x()).arg(tail.y())));
    QVERIFY2(QLineF(tip, to).length() < 1.0,
             qPrintable(QString("%1,%2").arg(tip.x()).arg(tip.y())));

    // And the painted stroke shows there: the middle of the turned stroke is lit.
    LcdNumber lcd;
    lcd.resize(150, 200);
    lcd.setNumber(number);
    const QImage image = render(lcd);
    // The gradient turns with the painter: its colour follows the unturned row.
    const QPointF middle = (tail + tip) / 2;
    const double row = turn.inverted().map(middle).y();
    QVERIFY(near(image.pixel(middle.toPoint()), segmentColorAt(lcd, row, image.height())));
}

void TestLcdNumber::glyphTable_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QVector<int>>("segments");
    QTest::addColumn<int>("turned"); // -1: none
    QTest::addColumn<double>("degrees");

    using S = LcdSegments;
    QTest::newRow("0") << 0 << QVector<int>{S::UpperLeft, S::Top,    S::UpperRight,
                                            S::LowerLeft, S::Bottom, S::LowerRight}
                       << -1 << 0.0;
    QTest::newRow("1") << 1 << QVector<int>{S::UpperRightOfOne, S::LowerRightOfOne} << -1 << 0.0;
    QTest::newRow("2") << 2
                       << QVector<int>{S::Top, S::UpperRight, S::Middle, S::LowerLeft, S::Bottom}
                       << -1 << 0.0;
    QTest::newRow("3") << 3
                       << QVector<int>{S::Top, S::UpperRight, S::Middle, S::Bottom, S::LowerRight}
                       << -1 << 0.0;
    QTest::newRow("4") << 4 << QVector<int>{S::UpperLeft, S::UpperRight, S::Middle, S::LowerRight}
                       << -1 << 0.0;
    QTest::newRow("5") << 5
                       << QVector<int>{S::UpperLeft, S::Top, S::Middle, S::Bottom, S::LowerRight}
                       << -1 << 0.0;
    QTest::newRow("6") << 6 << QVector<int>{S::UpperLeft, S::Top,    S::Middle,
                                            S::LowerLeft, S::Bottom, S::LowerRight}
                       << -1 << 0.0;
    QTest::newRow("7") << 7 << QVector<int>{S::Top, S::UpperRight, S::LowerRight} << -1 << 0.0;
    QTest::newRow("8") << 8 << QVector<int>{S::UpperLeft, S::Top,    S::UpperRight, S::Middle,
                                            S::LowerLeft, S::Bottom, S::LowerRight}
                       << -1 << 0.0;
    QTest::newRow("9") << 9 << QVector<int>{S::UpperLeft, S::Top,    S::UpperRight,
                                            S::Middle,    S::Bottom, S::LowerRight}
                       << -1 << 0.0;
    QTest::newRow("A") << 10 << QVector<int>{S::UpperLeft, S::Top,       S::UpperRight,
                                             S::Middle,    S::LowerLeft, S::LowerRight}
                       << -1 << 0.0;
    QTest::newRow("N") << 11
                       << QVector<int>{S::UpperLeft, S::UpperRight, S::LowerLeft, S::LowerRight}
                       << int(S::DiagonalOfN) << 58.0;
    QTest::newRow("R") << 12
                       << QVector<int>{S::UpperLeft, S::Top, S::UpperRight, S::Middle, S::LowerLeft}
                       << int(S::LegOfR) << 30.0;
    QTest::newRow("blank") << 13 << QVector<int>{} << -1 << 0.0;
    QTest::newRow("14") << 14 << QVector<int>{} << -1 << 0.0;
    QTest::newRow("-1") << -1 << QVector<int>{} << -1 << 0.0;
}

void TestLcdNumber::glyphTable()
{
    QFETCH(int, number);
    QFETCH(QVector<int>, segments);
    QFETCH(int, turned);
    const LcdSegments::Glyph glyph = LcdSegments::glyph(number);
    QVector<int> drawn;
    for (const Segment s : glyph.segments)
        drawn.append(s);
    QCOMPARE(drawn, segments);
    QCOMPARE(glyph.turned.has_value(), turned >= 0);
    if (glyph.turned)
        QCOMPARE(int(*glyph.turned), turned);
    QTEST(glyph.turnDegrees, "degrees");
}

void TestLcdNumber::eightLightsSevenSegments()
{
    LcdNumber lcd;
    lcd.resize(150, 200);
    lcd.setNumber(8);
    const QImage image = render(lcd);
    const LcdSegments cell = lcd.segments();

    for (int s = LcdSegments::Top; s <= LcdSegments::Bottom; ++s) {
        const QPolygonF polygon = cell.polygon(Segment(s));
        QVERIFY2(lit(image, lcd, inside(polygon)), qPrintable(QString::number(s)));
        // Every corner pixel of the segment that lies well inside it is lit too.
        for (const QPointF &corner : polygon) {
            const QPointF towards = corner + (inside(polygon) - corner) * 0.3;
            QVERIFY(lit(image, lcd, towards));
        }
    }
    // The holes, the margin and the gaps between segments show the background.
    const QList<QPointF> gaps = {{75, 60},  {75, 140},  {10, 10}, {140, 190},
                                 {21, 100}, {129, 100}, {22, 15}, {75, 100 + 12}};
    for (const QPointF &gap : gaps)
        QVERIFY2(near(image.pixel(gap.toPoint()), Background),
                 qPrintable(QString("%1,%2").arg(gap.x()).arg(gap.y())));
    // The segments of 1 are not part of an 8.
    QVERIFY(!lit(image, lcd, inside(cell.polygon(LcdSegments::UpperRightOfOne))));
}

void TestLcdNumber::outsideTheTableShowsBackground_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("blank") << 13;
    QTest::newRow("14") << 14;
    QTest::newRow("-1") << -1;
    QTest::newRow("large") << 1000;
}

void TestLcdNumber::outsideTheTableShowsBackground()
{
    QFETCH(int, number);
    LcdNumber lcd;
    lcd.resize(150, 200);
    lcd.setNumber(number);
    QCOMPARE(lcd.getNumber(), number);
    const QImage image = render(lcd);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!near(image.pixel(x, y), Background, 1))
                QFAIL(qPrintable(QString("pixel %1,%2 is not background").arg(x).arg(y)));
}

void TestLcdNumber::repaintOnlyOnChange_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QVariant>("changed");
    QTest::newRow("number") << QByteArray("number") << QVariant(5);
    QTest::newRow("space") << QByteArray("space") << QVariant(3);
    QTest::newRow("bgColorStart") << QByteArray("bgColorStart") << QVariant(QColor(1, 2, 3));
    QTest::newRow("bgColorEnd") << QByteArray("bgColorEnd") << QVariant(QColor(1, 2, 3));
    QTest::newRow("numberColorStart")
        << QByteArray("numberColorStart") << QVariant(QColor(1, 2, 3));
    QTest::newRow("numberColorEnd") << QByteArray("numberColorEnd") << QVariant(QColor(1, 2, 3));
}

void TestLcdNumber::repaintOnlyOnChange()
{
    QFETCH(QByteArray, name);
    QFETCH(QVariant, changed);
    CountingLcd lcd;
    lcd.resize(150, 200);
    lcd.show();
    QVERIFY(QTest::qWaitForWindowExposed(&lcd));
    QTRY_VERIFY(lcd.paints > 0);
    QTest::qWait(20);

    lcd.paints = 0;
    lcd.setProperty(name, lcd.property(name));
    QTest::qWait(50);
    QCOMPARE(lcd.paints, 0);

    lcd.setProperty(name, changed);
    QCOMPARE(lcd.property(name), changed);
    QTRY_VERIFY(lcd.paints > 0);
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
    QScreen *screen = lcd.windowHandle()->screen();
    auto onScreen = [&] {
        return screen->grabWindow(lcd.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QPointF upperRight = inside(lcd.segments().polygon(LcdSegments::UpperRight));
    const QPointF lowerRight = inside(lcd.segments().polygon(LcdSegments::LowerRight));
    const QPointF by60(60, 0), by30(30, 0);
    QImage shown = onScreen();
    QVERIFY(lit(shown, lcd, upperRight - by60));
    QVERIFY(!lit(shown, lcd, upperRight - by30));

    lcd.paints = 0;
    lcd.setOne_Space_X(30);
    QCOMPARE(lcd.getOne_Space_X(), 30);
    QTest::qWait(50);
    QCOMPARE(lcd.paints, 0);
    shown = onScreen();
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

void TestLcdNumber::resizeRescalesStrokes()
{
    // Width of the upper-left stroke along a row, height of the middle stroke down a column.
    auto strokeSizes = [](LcdNumber &lcd, int w, int h) {
        lcd.resize(w, h);
        const QImage image = render(lcd);
        int across = 0, down = 0;
        for (int x = 0; x < w / 2; ++x)
            across += !near(image.pixel(x, h / 4), Background, 30);
        for (int y = h / 4; y < 3 * h / 4; ++y)
            down += !near(image.pixel(w / 2, y), Background, 30);
        return QPair<int, int>(across, down);
    };
    LcdNumber lcd;
    lcd.setNumber(8);
    const auto small = strokeSizes(lcd, 150, 200); // stroke 15, middle 2 x 6
    const auto wide = strokeSizes(lcd, 300, 200);  // stroke 30, middle 2 x 6
    const auto tall = strokeSizes(lcd, 150, 400);  // stroke 15, middle 2 x 13
    QVERIFY2(qAbs(small.first - 15) <= 1, qPrintable(QString::number(small.first)));
    QVERIFY2(qAbs(small.second - 12) <= 1, qPrintable(QString::number(small.second)));
    QVERIFY2(qAbs(wide.first - 30) <= 1, qPrintable(QString::number(wide.first)));
    QVERIFY2(qAbs(wide.second - 12) <= 1, qPrintable(QString::number(wide.second)));
    QVERIFY2(qAbs(tall.first - 15) <= 1, qPrintable(QString::number(tall.first)));
    QVERIFY2(qAbs(tall.second - 26) <= 1, qPrintable(QString::number(tall.second)));
}

QTEST_MAIN(TestLcdNumber)
#include "tst_lcdnumber.moc"
