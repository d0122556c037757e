#include "pixelprobe.h"
#include <gauges/progressbarcolor.h>

#include <QFontMetrics>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

const QColor UpdaterText(159, 158, 158);
const QColor UpdaterTrack(22, 22, 26);
const QColor UpdaterBar(85, 255, 0);
const double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

// The updater's form writes its colours by property name: a misspelt name
// would only add a dynamic property, so the painting tests go this way too.
void applyUpdaterForm(ProgressBarColor &bar)
{
    bar.setProperty("textColor", UpdaterText);
    bar.setProperty("barBgColor", UpdaterTrack);
    bar.setProperty("barColor", UpdaterBar);
}

// The bar painted at a size, with the geometry and label font it was painted with.
struct Painted
{
    QImage image;
    ProgressBarGeometry g;
    QFont font;
};

Painted paint(ProgressBarColor &bar, int width, int height)
{
    bar.resize(width, height);
    Painted p{grabbed(bar), {}, bar.font()};
    const ProgressBarLayout layout = bar.labelLayout();
    const int pixelSize = ProgressBarGeometry::fontPixelSize(layout, width);
    if (pixelSize >= 1)
        p.font.setPixelSize(pixelSize);
    const int advance = QFontMetrics(p.font).horizontalAdvance(
        ProgressBarGeometry::widthText(layout, bar.getMaxValue(), bar.getPrecision()));
    p.g =
        ProgressBarGeometry::compute({layout, width, height, bar.getSpace(), bar.getStep(), advance,
                                      bar.getMinValue(), bar.getMaxValue(), bar.getValue()});
    return p;
}

} // namespace

class TestProgressBarColor : public QObject
{
    Q_OBJECT

private slots:
    void refusedAndClampedInput_data();
    void refusedAndClampedInput();
    void wholePixelProperties_data();
    void wholePixelProperties();
    void labelTexts();
    void paintsUpdaterBar_data();
    void paintsUpdaterBar();
    void paintsMonitorBar();
    void separatorLinesOnlyWithStep();
    void extremeSpaceAndStepPaint_data();
    void extremeSpaceAndStepPaint();
};

void TestProgressBarColor::refusedAndClampedInput_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("minValue");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<double>("value");

    QTest::newRow("value nan") << "value" << NaN << 0.0 << 0.0 << 100.0 << 50.0;
    QTest::newRow("infinite top") << "range" << 0.0 << Inf << 0.0 << 100.0 << 50.0;
    QTest::newRow("nan max") << "max" << NaN << 0.0 << 0.0 << 100.0 << 50.0;
    // A value left outside a new range moves to the nearer end.
    QTest::newRow("value above new top") << "range" << 0.0 << 40.0 << 0.0 << 40.0 << 40.0;
    QTest::newRow("min passes value") << "min" << 70.0 << 0.0 << 70.0 << 100.0 << 70.0;
}

void TestProgressBarColor::refusedAndClampedInput()
{
    QFETCH(QString, call);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, value);
    ProgressBarColor bar;
    bar.setValue(50);
    QSignalSpy spy(&bar, &ProgressBarColor::valueChanged);

    if (call == "value")
        bar.setValue(a);
    else if (call == "range")
        bar.setRange(a, b);
    else if (call == "min")
        bar.setMinValue(a);
    else
        bar.setMaxValue(a);

    QTEST(bar.getMinValue(), "minValue");
    QTEST(bar.getMaxValue(), "maxValue");
    QCOMPARE(bar.getValue(), value);
    QCOMPARE(spy.count(), value != 50.0 ? 1 : 0);
    if (!spy.isEmpty())
        QCOMPARE(spy.first().first().toDouble(), value);
}

void TestProgressBarColor::wholePixelProperties_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("stored");

    // Forms write doubles: NaN and values beyond int must not reach a conversion.
    const double intMax = std::numeric_limits<int>::max();
    const double intMin = std::numeric_limits<int>::min();
    QTest::newRow("step huge") << QByteArray("step") << 1e20 << intMax;
    QTest::newRow("space very negative") << QByteArray("space") << -1e20 << intMin;
    QTest::newRow("radius nan ignored") << QByteArray("radius") << NaN << 5.0;
    QTest::newRow("precision 4 refused") << QByteArray("precision") << 4.0 << 0.0;
}

void TestProgressBarColor::wholePixelProperties()
{
    QFETCH(QByteArray, name);
    QFETCH(double, input);
    ProgressBarColor bar;
    QVERIFY(bar.setProperty(name, input));
    QTEST(bar.property(name).toDouble(), "stored");
}

void TestProgressBarColor::labelTexts()
{
    // The share of the span above the minimum; a negative precision shows whole numbers.
    QCOMPARE(ProgressBarGeometry::labelText(ProgressBarLayout::Percentage, 15, 10, 30, 1),
             QString("25.0%"));
    QCOMPARE(ProgressBarGeometry::labelText(ProgressBarLayout::CentredValue, 12.25, 0, 30, -1),
             QString("12"));
}

void TestProgressBarColor::paintsUpdaterBar_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("label");

    QTest::newRow("empty") << 0.0 << 0 << "0%";
    QTest::newRow("three decimals") << 50.0 << 3 << "50.000%";
}

void TestProgressBarColor::paintsUpdaterBar()
{
    QFETCH(double, value);
    QFETCH(int, precision);
    QFETCH(QString, label);
    ProgressBarColor bar; // default-constructed: the updater's percentage layout
    applyUpdaterForm(bar);
    bar.setValue(value);
    bar.setPrecision(precision);
    const int w = 431, h = 41, mid = h / 2; // the updater's form geometry
    const Painted p = paint(bar, w, h);
    const QRectF &track = p.g.track;
    const QRect labelBox = p.g.labelBox.toAlignedRect();

    // The bar fills its share of the track from the left end; the rest is track.
    const double end = track.left() + track.width() * value / 100.0;
    for (int x = int(track.left()) + 3; x < int(track.right()) - 3; x += 7)
        QVERIFY2(qAbs(x - end) < 3 ||
                     near(p.image.pixel(x, mid), x < end ? UpdaterBar : UpdaterTrack),
                 qPrintable(QString::number(x)));
    if (value == 0)
        QVERIFY(inkOf(p.image, p.image.rect(), UpdaterBar, 60).isNull());
    QVERIFY(inkOf(p.image, labelBox, UpdaterBar, 60).isNull());

    // The label is centred in its box at the right end, whole, and nowhere else.
    const QRect ink = inkOf(p.image, labelBox, UpdaterText);
    const int textWidth = QFontMetrics(p.font).tightBoundingRect(label).width();
    QVERIFY2(qAbs(ink.width() - textWidth) <= 2,
             qPrintable(QString("ink %1, text %2").arg(ink.width()).arg(textWidth)));
    QVERIFY(qAbs(ink.left() + ink.width() / 2.0 - p.g.labelBox.center().x()) <= 2.0);
    const QRectF inner = track.adjusted(bar.getRadius(), 1, -bar.getRadius(), -1);
    QVERIFY(inkOf(p.image, inner.toAlignedRect(), UpdaterText).isNull());
}

void TestProgressBarColor::paintsMonitorBar()
{
    ProgressBarColor bar;
    bar.useCentredValueLayout();
    const int w = 600, h = 40;
    const Painted p = paint(bar, w, h);
    const QColor barColor(0, 234, 255), background(0, 0, 0);

    // Full from the start: the bar runs from x = 12 to W - 12 over black.
    for (int y : {2, h / 2, h - 3})
        for (int x : {5, 14, w - 14, w - 6})
            QVERIFY(near(p.image.pixel(x, y), x == 5 || x == w - 6 ? background : barColor));

    // White "4096" on top of the bar, centred in the box that starts 20 px
    // left of the middle (a tolerance of 155 keeps cyan and black out).
    const QRect ink = inkOf(p.image, p.image.rect(), Qt::white, 155);
    QVERIFY(qAbs(ink.width() - QFontMetrics(p.font).tightBoundingRect("4096").width()) <= 2);
    QVERIFY(qAbs(ink.left() + ink.width() / 2.0 - p.g.labelBox.center().x()) <= 2.0);
    QCOMPARE(p.g.labelBox.left(), w / 2 - 20);

    bar.setValue(1024);
    const QImage quarter = paint(bar, w, h).image;
    const double end = 12 + (w - 24) / 4.0;
    QVERIFY(near(quarter.pixel(int(end) - 3, 3), barColor));
    QVERIFY(near(quarter.pixel(int(end) + 3, 3), background));
}

void TestProgressBarColor::separatorLinesOnlyWithStep()
{
    const QColor lines(255, 0, 0);
    ProgressBarColor bar;
    applyUpdaterForm(bar);
    bar.setLineColor(lines);
    const int w = 431, h = 41, mid = h / 2;
    QVERIFY(inkOf(paint(bar, w, h).image, QRect(0, 0, w, h), lines, 60).isNull());

    bar.setStep(40);
    const Painted p = paint(bar, w, h);
    QVERIFY(p.g.separatorXs.size() >= 5);
    double previous = 5;
    for (const double x : p.g.separatorXs) {
        // An anti-aliased line at a fractional x touches the column under it,
        // stays inside the track rows, and half-way to the previous line there is none.
        QVERIFY2(!inkOf(p.image, QRect(int(x) - 1, mid - 2, 3, 5), lines, 90).isNull(),
                 qPrintable(QString::number(x)));
        QVERIFY(inkOf(p.image, QRect(int(x) - 1, 0, 3, bar.getSpace()), lines, 90).isNull());
        QVERIFY(inkOf(p.image, QRect(int((previous + x) / 2), 0, 1, h), lines, 90).isNull());
        previous = x;
    }
}

void TestProgressBarColor::extremeSpaceAndStepPaint_data()
{
    QTest::addColumn<int>("space");
    QTest::addColumn<int>("step");
    const int most = std::numeric_limits<int>::max();
    const int least = std::numeric_limits<int>::min();
    // 3 * space, INT_MIN / -1 and billions of separators were all within reach.
    QTest::newRow("least space, step -1") << least << -1;
    QTest::newRow("least space, step 1") << least << 1;
    QTest::newRow("most space, step -1") << most << -1;
    QTest::newRow("least space, largest step") << least << most;
}

void TestProgressBarColor::extremeSpaceAndStepPaint()
{
    QFETCH(int, space);
    QFETCH(int, step);
    ProgressBarColor bar;
    applyUpdaterForm(bar);
    bar.setSpace(space);
    bar.setStep(step);
    const Painted p = paint(bar, 431, 41);
    QCOMPARE(p.image.size(), QSize(431, 41));
    QVERIFY(p.g.separatorXs.size() <= 431);
}

QTEST_MAIN(TestProgressBarColor)
#include "tst_progressbarcolor.moc"
