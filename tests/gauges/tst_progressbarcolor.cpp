#include "progressbarcolor.h"

#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

const QColor UpdaterText(159, 158, 158);
const QColor UpdaterTrack(22, 22, 26);
const QColor UpdaterBar(85, 255, 0);

// The three colours the updater's form writes right after constructing the bar.
void applyUpdaterForm(ProgressBarColor &bar)
{
    bar.setProperty("textColor", UpdaterText);
    bar.setProperty("barBgColor", UpdaterTrack);
    bar.setProperty("barColor", UpdaterBar);
}

bool near(QRgb pixel, const QColor &color, int tolerance = 12)
{
    return qAbs(qRed(pixel) - color.red()) <= tolerance &&
           qAbs(qGreen(pixel) - color.green()) <= tolerance &&
           qAbs(qBlue(pixel) - color.blue()) <= tolerance;
}

QImage render(ProgressBarColor &bar, int width, int height)
{
    bar.resize(width, height);
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Columns [left, right] that hold pixels close to the colour, over the rows of the box.
struct Ink
{
    int left = -1;
    int right = -1;
    int count = 0;
};

template <typename IsInk> Ink findInk(const QImage &image, const QRect &box, IsInk isInk)
{
    Ink ink;
    for (int x = qMax(0, box.left()); x <= qMin(image.width() - 1, box.right()); ++x)
        for (int y = qMax(0, box.top()); y <= qMin(image.height() - 1, box.bottom()); ++y)
            if (isInk(image.pixel(x, y))) {
                if (ink.left < 0)
                    ink.left = x;
                ink.right = x;
                ++ink.count;
            }
    return ink;
}

Ink findInk(const QImage &image, const QRect &box, const QColor &color, int tolerance = 40)
{
    return findInk(image, box, [&](QRgb pixel) { return near(pixel, color, tolerance); });
}

// The geometry the widget itself uses for painting, computed the same way.
ProgressBarGeometry geometryOf(const ProgressBarColor &bar, int width, int height)
{
    const ProgressBarLayout layout = bar.labelLayout();
    QFont f = bar.font();
    const int pixelSize = ProgressBarGeometry::fontPixelSize(layout, width);
    if (pixelSize >= 1)
        f.setPixelSize(pixelSize);
    ProgressBarGeometry::Input in;
    in.layout = layout;
    in.width = width;
    in.height = height;
    in.space = bar.getSpace();
    in.step = bar.getStep();
    in.textAdvance = QFontMetrics(f).horizontalAdvance(
        ProgressBarGeometry::widthText(layout, bar.getMaxValue(), bar.getPrecision()));
    in.minValue = bar.getMinValue();
    in.maxValue = bar.getMaxValue();
    in.value = bar.getValue();
    return ProgressBarGeometry::compute(in);
}

QFont labelFont(const ProgressBarColor &bar, int width)
{
    QFont f = bar.font();
    const int pixelSize = ProgressBarGeometry::fontPixelSize(bar.labelLayout(), width);
    if (pixelSize >= 1)
        f.setPixelSize(pixelSize);
    return f;
}

class CountingBar : public ProgressBarColor
{
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        ++paints;
        ProgressBarColor::paintEvent(event);
    }
};

} // namespace

class TestProgressBarColor : public QObject
{
    Q_OBJECT

private slots:
    void defaults_data();
    void defaults();
    void metaObject();
    void rangeRules_data();
    void rangeRules();
    void valueRules_data();
    void valueRules();
    void precisionRule_data();
    void precisionRule();
    void wholePixelProperties_data();
    void wholePixelProperties();
    void repaintOnlyOnChange_data();
    void repaintOnlyOnChange();
    void labelTexts_data();
    void labelTexts();
    void separatorPositions();
    void fontPixelSize_data();
    void fontPixelSize();
    void paintsEmptyUpdaterBar();
    void paintsBarLengthInPercentageLayout_data();
    void paintsBarLengthInPercentageLayout();
    void paintsFullMonitorBar();
    void paintsThreeDecimals();
    void separatorLinesOnlyWithStep();
};

void TestProgressBarColor::defaults_data()
{
    QTest::addColumn<bool>("centred");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("space");
    QTest::addColumn<int>("radius");
    QTest::addColumn<QColor>("bgColorStart");
    QTest::addColumn<QColor>("bgColorEnd");
    QTest::addColumn<QColor>("lineColor");
    QTest::addColumn<QColor>("textColor");
    QTest::addColumn<QColor>("barBgColor");
    QTest::addColumn<QColor>("barColor");
    QTest::addColumn<int>("pointSize");

    QTest::newRow("updater") << false << 100.0 << 0.0 << 5 << 5 << QColor(100, 100, 100)
                             << QColor(60, 60, 60) << QColor(230, 230, 230) << QColor(250, 250, 250)
                             << QColor(250, 250, 250) << QColor(100, 184, 255) << 8;
    QTest::newRow("monitor") << true << 4096.0 << 4096.0 << 0 << 0 << QColor(0, 0, 0)
                             << QColor(0, 0, 0) << QColor(100, 100, 100) << QColor(255, 255, 255)
                             << QColor(100, 100, 100, 0) << QColor(0, 234, 255) << 3;
}

void TestProgressBarColor::defaults()
{
    QFETCH(bool, centred);
    ProgressBarColor bar;
    if (centred)
        bar.useCentredValueLayout();

    QCOMPARE(bar.labelLayout(),
             centred ? ProgressBarLayout::CentredValue : ProgressBarLayout::Percentage);
    QCOMPARE(bar.getMinValue(), 0.0);
    QTEST(bar.getMaxValue(), "maxValue");
    QTEST(bar.getValue(), "value");
    QCOMPARE(bar.getPrecision(), 0);
    QCOMPARE(bar.getStep(), 0);
    QTEST(bar.getSpace(), "space");
    QTEST(bar.getRadius(), "radius");
    QTEST(bar.getBgColorStart(), "bgColorStart");
    QTEST(bar.getBgColorEnd(), "bgColorEnd");
    QTEST(bar.getLineColor(), "lineColor");
    QTEST(bar.getTextColor(), "textColor");
    QTEST(bar.getBarBgColor(), "barBgColor");
    QTEST(bar.getBarColor(), "barColor");
    QCOMPARE(bar.font().family(), QStringLiteral("Arial"));
    QTEST(bar.font().pointSize(), "pointSize");
    QCOMPARE(bar.sizeHint(), QSize(300, 30));
    QCOMPARE(bar.minimumSizeHint(), QSize(50, 20));
}

void TestProgressBarColor::metaObject()
{
    // Forms and other windows reach the bar by these names, in this order.
    const QMetaObject *mo = &ProgressBarColor::staticMetaObject;
    const QStringList properties = {
        "minValue",     "maxValue",   "value",     "precision", "step",       "space",   "radius",
        "bgColorStart", "bgColorEnd", "lineColor", "textColor", "barBgColor", "barColor"};
    QCOMPARE(mo->propertyCount() - mo->propertyOffset(), properties.size());
    for (int i = 0; i < properties.size(); ++i)
        QCOMPARE(QString(mo->property(mo->propertyOffset() + i).name()), properties.at(i));
    QCOMPARE(QString(mo->property(mo->indexOfProperty("step")).typeName()), QString("double"));

    const QStringList methods = {
        "valueChanged(double)",  "setRange(double,double)", "setRange(int,int)",
        "setMinValue(double)",   "setMaxValue(double)",     "setValue(double)",
        "setValue(int)",         "setPrecision(int)",       "setStep(int)",
        "setSpace(int)",         "setRadius(int)",          "setBgColorStart(QColor)",
        "setBgColorEnd(QColor)", "setLineColor(QColor)",    "setTextColor(QColor)",
        "setBarBgColor(QColor)", "setBarColor(QColor)"};
    QCOMPARE(mo->methodCount() - mo->methodOffset(), methods.size());
    for (int i = 0; i < methods.size(); ++i)
        QCOMPARE(QString(mo->method(mo->methodOffset() + i).methodSignature()), methods.at(i));
}

void TestProgressBarColor::rangeRules_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("minValue");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("emits");

    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Every row starts from the range 0..100 with the value 50.
    QTest::newRow("equal ends") << "range" << 5.0 << 5.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("reversed ends") << "range" << 10.0 << 0.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("int equal ends") << "intRange" << 5.0 << 5.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("int reversed") << "intRange" << 10.0 << 0.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("int accepted") << "intRange" << 20.0 << 80.0 << 20.0 << 80.0 << 50.0 << 0;
    QTest::newRow("accepted") << "range" << -0.5 << 60.5 << -0.5 << 60.5 << 50.0 << 0;
    QTest::newRow("same range") << "range" << 0.0 << 100.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("value above new top") << "range" << 0.0 << 40.0 << 0.0 << 40.0 << 40.0 << 1;
    QTest::newRow("value below new bottom")
        << "range" << 60.0 << 200.0 << 60.0 << 200.0 << 60.0 << 1;
    QTest::newRow("min equal to max") << "min" << 100.0 << 0.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("min above max") << "min" << 150.0 << 0.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("min accepted") << "min" << -10.0 << 0.0 << -10.0 << 100.0 << 50.0 << 0;
    QTest::newRow("min passes value") << "min" << 70.0 << 0.0 << 70.0 << 100.0 << 70.0 << 1;
    QTest::newRow("max equal to min") << "max" << 0.0 << 0.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("max below min") << "max" << -3.0 << 0.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("max passes value") << "max" << 30.0 << 0.0 << 0.0 << 30.0 << 30.0 << 1;
    QTest::newRow("infinite top") << "range" << 0.0 << inf << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("infinite bottom") << "range" << -inf << 1.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("nan bottom") << "range" << nan << 1.0 << 0.0 << 100.0 << 50.0 << 0;
    QTest::newRow("nan max") << "max" << nan << 0.0 << 0.0 << 100.0 << 50.0 << 0;
}

void TestProgressBarColor::rangeRules()
{
    QFETCH(QString, call);
    QFETCH(double, a);
    QFETCH(double, b);
    ProgressBarColor bar;
    bar.setValue(50);
    QSignalSpy spy(&bar, &ProgressBarColor::valueChanged);

    if (call == "range")
        bar.setRange(a, b);
    else if (call == "intRange")
        bar.setRange(int(a), int(b));
    else if (call == "min")
        bar.setMinValue(a);
    else
        bar.setMaxValue(a);

    QTEST(bar.getMinValue(), "minValue");
    QTEST(bar.getMaxValue(), "maxValue");
    QTEST(bar.getValue(), "value");
    QTEST(int(spy.count()), "emits");
    if (!spy.isEmpty())
        QCOMPARE(spy.first().first().toDouble(), bar.getValue());
}

void TestProgressBarColor::valueRules_data()
{
    QTest::addColumn<double>("input");
    QTest::addColumn<bool>("asInt");
    QTest::addColumn<bool>("viaProperty");
    QTest::addColumn<double>("expected");

    // Every row starts from the range 0..100 with the value 50.
    QTest::newRow("top bound") << 100.0 << false << false << 100.0;
    QTest::newRow("bottom bound") << 0.0 << false << false << 0.0;
    QTest::newRow("inside") << 99.25 << false << false << 99.25;
    QTest::newRow("just above") << 100.5 << false << false << 50.0;
    QTest::newRow("below") << -1.0 << false << false << 50.0;
    QTest::newRow("unchanged") << 50.0 << false << false << 50.0;
    QTest::newRow("nan") << std::nan("") << false << false << 50.0;
    QTest::newRow("int inside") << 7.0 << true << false << 7.0;
    QTest::newRow("int above") << 101.0 << true << false << 50.0;
    QTest::newRow("property inside") << 12.5 << false << true << 12.5;
    QTest::newRow("property above") << 200.0 << false << true << 50.0;
}

void TestProgressBarColor::valueRules()
{
    QFETCH(double, input);
    QFETCH(bool, asInt);
    QFETCH(bool, viaProperty);
    QFETCH(double, expected);
    ProgressBarColor bar;
    bar.setValue(50);
    QSignalSpy spy(&bar, &ProgressBarColor::valueChanged);

    if (viaProperty)
        bar.setProperty("value", input);
    else if (asInt)
        bar.setValue(int(input));
    else
        bar.setValue(input);

    QCOMPARE(bar.getValue(), expected);
    QCOMPARE(spy.count(), expected != 50.0 ? 1 : 0);
    if (!spy.isEmpty())
        QCOMPARE(spy.first().first().toDouble(), expected);
}

void TestProgressBarColor::precisionRule_data()
{
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("expected");
    QTest::newRow("four refused") << 4 << 0;
    QTest::newRow("large refused") << 1000 << 0;
    QTest::newRow("three") << 3 << 3;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("negative has no lower bound") << -2 << -2;
}

void TestProgressBarColor::precisionRule()
{
    QFETCH(int, input);
    ProgressBarColor bar;
    bar.setPrecision(input);
    QTEST(bar.getPrecision(), "expected");
}

void TestProgressBarColor::wholePixelProperties_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<double>("input");
    QTest::addColumn<int>("stored");

    QTest::newRow("step 2.9") << QByteArray("step") << 2.9 << 2;
    QTest::newRow("step -2.9") << QByteArray("step") << -2.9 << -2;
    QTest::newRow("space 7.99") << QByteArray("space") << 7.99 << 7;
    QTest::newRow("radius 0.5") << QByteArray("radius") << 0.5 << 0;
    QTest::newRow("step huge") << QByteArray("step") << 1e20 << std::numeric_limits<int>::max();
    QTest::newRow("space very negative")
        << QByteArray("space") << -1e20 << std::numeric_limits<int>::min();
    QTest::newRow("radius nan ignored") << QByteArray("radius") << std::nan("") << 5;
}

void TestProgressBarColor::wholePixelProperties()
{
    QFETCH(QByteArray, name);
    QFETCH(double, input);
    QFETCH(int, stored);
    ProgressBarColor bar;
    QVERIFY(bar.setProperty(name, input));
    const QVariant read = bar.property(name);
    QCOMPARE(read.userType(), int(QMetaType::Double));
    QCOMPARE(read.toDouble(), double(stored));
}

void TestProgressBarColor::repaintOnlyOnChange_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QVariant>("changed");

    QTest::newRow("minValue") << QByteArray("minValue") << QVariant(-5.0);
    QTest::newRow("maxValue") << QByteArray("maxValue") << QVariant(200.0);
    QTest::newRow("value") << QByteArray("value") << QVariant(42.0);
    QTest::newRow("precision") << QByteArray("precision") << QVariant(2);
    QTest::newRow("step") << QByteArray("step") << QVariant(10.0);
    QTest::newRow("space") << QByteArray("space") << QVariant(3.0);
    QTest::newRow("radius") << QByteArray("radius") << QVariant(0.0);
    QTest::newRow("bgColorStart") << QByteArray("bgColorStart") << QVariant(QColor(1, 2, 3));
    QTest::newRow("bgColorEnd") << QByteArray("bgColorEnd") << QVariant(QColor(1, 2, 3));
    QTest::newRow("lineColor") << QByteArray("lineColor") << QVariant(QColor(1, 2, 3));
    QTest::newRow("textColor") << QByteArray("textColor") << QVariant(QColor(1, 2, 3));
    QTest::newRow("barBgColor") << QByteArray("barBgColor") << QVariant(QColor(1, 2, 3));
    QTest::newRow("barColor") << QByteArray("barColor") << QVariant(QColor(1, 2, 3));
}

void TestProgressBarColor::repaintOnlyOnChange()
{
    QFETCH(QByteArray, name);
    QFETCH(QVariant, changed);
    CountingBar bar;
    bar.resize(300, 30);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QTRY_VERIFY(bar.paints > 0);
    QTest::qWait(20);

    bar.paints = 0;
    bar.setProperty(name, bar.property(name));
    QTest::qWait(50);
    QCOMPARE(bar.paints, 0);

    bar.setProperty(name, changed);
    QCOMPARE(bar.property(name), changed);
    QTRY_VERIFY(bar.paints > 0);
}

void TestProgressBarColor::labelTexts_data()
{
    QTest::addColumn<bool>("centred");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("minValue");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("widest");

    QTest::newRow("updater start") << false << 0.0 << 0.0 << 100.0 << 0 << "0%"
                                   << "100%";
    QTest::newRow("three decimals") << false << 50.0 << 0.0 << 100.0 << 3 << "50.000%"
                                    << "100.000%";
    QTest::newRow("byte range") << false << 1024.0 << 0.0 << 4096.0 << 0 << "25%"
                                << "4096%";
    QTest::newRow("offset range") << false << 15.0 << 10.0 << 30.0 << 1 << "25.0%"
                                  << "30.0%";
    QTest::newRow("monitor start") << true << 4096.0 << 0.0 << 4096.0 << 0 << "4096"
                                   << "4096";
    QTest::newRow("monitor decimals") << true << 12.5 << 0.0 << 4096.0 << 2 << "12.50"
                                      << "4096.00";
    QTest::newRow("negative precision") << true << 12.25 << 0.0 << 4096.0 << -1 << "12"
                                        << "4096";
}

void TestProgressBarColor::labelTexts()
{
    QFETCH(bool, centred);
    QFETCH(double, value);
    QFETCH(double, minValue);
    QFETCH(double, maxValue);
    QFETCH(int, precision);
    const auto layout = centred ? ProgressBarLayout::CentredValue : ProgressBarLayout::Percentage;
    QTEST(ProgressBarGeometry::labelText(layout, value, minValue, maxValue, precision), "label");
    QTEST(ProgressBarGeometry::widthText(layout, maxValue, precision), "widest");
}

void TestProgressBarColor::separatorPositions()
{
    ProgressBarGeometry::Input in;
    in.width = 140;
    in.height = 30;
    in.space = 5;
    in.step = 30;
    in.textAdvance = 15; // room 25, so the track is 140 - 15 - 25 = 100 wide
    const ProgressBarGeometry g = ProgressBarGeometry::compute(in);
    QCOMPARE(g.textWidth, 25);
    QCOMPARE(g.track, QRectF(5, 5, 100, 20));
    QCOMPARE(g.labelBox, QRectF(110, 5, 25, 20));
    // 100 / 30 gives three lines 33.33 apart, each starting from the truncated previous x.
    QCOMPARE(g.separatorXs.size(), 3);
    QVERIFY(qFuzzyCompare(g.separatorXs.at(0), 5 + 100.0 / 3));
    QVERIFY(qFuzzyCompare(g.separatorXs.at(1), 38 + 100.0 / 3));
    QVERIFY(qFuzzyCompare(g.separatorXs.at(2), 71 + 100.0 / 3));

    in.layout = ProgressBarLayout::CentredValue;
    in.space = 0;
    in.minValue = 0;
    in.maxValue = 4096;
    in.value = 2048;
    const ProgressBarGeometry c = ProgressBarGeometry::compute(in);
    QCOMPARE(c.bar, QRectF(12, 0, 58, 30)); // half of 140 - 24
    QCOMPARE(c.labelBox, QRectF(50, 0, 45, 30));
    QCOMPARE(c.separatorXs.size(), 3); // track 115 wide
    QVERIFY(qFuzzyCompare(c.separatorXs.at(0), 10 + 115.0 / 3));

    in.step = 0;
    QVERIFY(ProgressBarGeometry::compute(in).separatorXs.isEmpty());
    in.step = 116; // wider than the track: not even one line
    QVERIFY(ProgressBarGeometry::compute(in).separatorXs.isEmpty());
}

void TestProgressBarColor::fontPixelSize_data()
{
    QTest::addColumn<bool>("centred");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("updater form") << false << 431 << 15;
    QTest::newRow("updater hint") << false << 300 << 10;
    QTest::newRow("monitor hint") << true << 300 << 7;
    QTest::newRow("monitor 40 px keeps point size") << true << 40 << 0;
}

void TestProgressBarColor::fontPixelSize()
{
    QFETCH(bool, centred);
    QFETCH(int, width);
    const auto layout = centred ? ProgressBarLayout::CentredValue : ProgressBarLayout::Percentage;
    QTEST(ProgressBarGeometry::fontPixelSize(layout, width), "pixelSize");
}

void TestProgressBarColor::paintsEmptyUpdaterBar()
{
    ProgressBarColor bar;
    applyUpdaterForm(bar);
    const int w = 431, h = 41; // the updater's form geometry
    const QImage image = render(bar, w, h);
    const ProgressBarGeometry g = geometryOf(bar, w, h);

    // Empty bar: the whole track, its left end included, shows the track colour.
    const int mid = h / 2;
    for (int x = int(g.track.left()) + 3; x < int(g.track.right()) - 3; x += 7)
        QVERIFY2(near(image.pixel(x, mid), UpdaterTrack), qPrintable(QString::number(x)));
    QCOMPARE(findInk(image, image.rect(), UpdaterBar, 60).count, 0);

    // "0%" centred in the label box at the right end, and no text anywhere else.
    const QRect box = g.labelBox.toAlignedRect();
    const Ink ink = findInk(image, box, UpdaterText);
    QVERIFY(ink.count > 10);
    QRectF inner = g.track.adjusted(bar.getRadius(), 1, -bar.getRadius(), -1);
    QCOMPARE(findInk(image, inner.toAlignedRect(), UpdaterText).count, 0);
    const QRect text = QFontMetrics(labelFont(bar, w)).tightBoundingRect("0%");
    QVERIFY2(
        qAbs((ink.right - ink.left + 1) - text.width()) <= 2,
        qPrintable(QString("ink %1..%2, text %3").arg(ink.left).arg(ink.right).arg(text.width())));
    const double inkCentre = (ink.left + ink.right + 1) / 2.0;
    QVERIFY(qAbs(inkCentre - g.labelBox.center().x()) <= 2.0);
}

void TestProgressBarColor::paintsBarLengthInPercentageLayout_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("quarter") << 25.0;
    QTest::newRow("half") << 50.0;
    QTest::newRow("full") << 100.0;
}

void TestProgressBarColor::paintsBarLengthInPercentageLayout()
{
    QFETCH(double, value);
    ProgressBarColor bar;
    applyUpdaterForm(bar);
    bar.setValue(value);
    const int w = 431, h = 41;
    const QImage image = render(bar, w, h);
    const ProgressBarGeometry g = geometryOf(bar, w, h);

    const int mid = h / 2;
    const double end = g.track.left() + g.track.width() * value / 100.0;
    QCOMPARE(g.bar.right(), end);
    QVERIFY(near(image.pixel(int(g.track.left()) + 6, mid), UpdaterBar));
    QVERIFY(near(image.pixel(int(end) - 3, mid), UpdaterBar));
    if (value < 100.0)
        QVERIFY(near(image.pixel(int(end) + 3, mid), UpdaterTrack));
    // The bar never reaches into the label box.
    QCOMPARE(findInk(image, g.labelBox.toAlignedRect(), UpdaterBar, 60).count, 0);
}

void TestProgressBarColor::paintsFullMonitorBar()
{
    ProgressBarColor bar;
    bar.useCentredValueLayout();
    const int w = 600, h = 40;
    const QImage image = render(bar, w, h);
    const ProgressBarGeometry g = geometryOf(bar, w, h);
    const QColor barColor(0, 234, 255);
    const QColor background(0, 0, 0);

    // Full bar from x = 12 to W - 12, black background outside it.
    for (int y : {2, h / 2, h - 3}) {
        QVERIFY(near(image.pixel(5, y), background));
        QVERIFY(near(image.pixel(w - 6, y), background));
        QVERIFY(near(image.pixel(14, y), barColor));
        QVERIFY(near(image.pixel(w - 14, y), barColor));
    }
    QCOMPARE(g.bar, QRectF(12, 0, w - 24, h));

    // "4096", centred in the box that starts 20 px left of the middle.
    // Neither the black background nor the cyan bar has any red: red is text.
    const Ink ink = findInk(image, image.rect(), [](QRgb pixel) { return qRed(pixel) > 100; });
    QVERIFY(ink.count > 10);
    const QRect text = QFontMetrics(labelFont(bar, w)).tightBoundingRect("4096");
    QVERIFY(qAbs((ink.right - ink.left + 1) - text.width()) <= 2);
    QVERIFY(qAbs((ink.left + ink.right + 1) / 2.0 - g.labelBox.center().x()) <= 2.0);
    QVERIFY(g.labelBox.left() == w / 2 - 20);

    // A lower value shortens the bar; the background shows beyond its end.
    bar.setValue(1024);
    const QImage quarter = render(bar, w, h);
    const double end = 12 + (w - 24) / 4.0;
    QVERIFY(near(quarter.pixel(int(end) - 3, 3), barColor));
    QVERIFY(near(quarter.pixel(int(end) + 3, 3), background));
}

void TestProgressBarColor::paintsThreeDecimals()
{
    ProgressBarColor bar;
    applyUpdaterForm(bar);
    bar.setValue(50);
    const int w = 431, h = 41;
    const Ink plain =
        findInk(render(bar, w, h), geometryOf(bar, w, h).labelBox.toAlignedRect(), UpdaterText);

    bar.setPrecision(3);
    const QImage image = render(bar, w, h);
    const ProgressBarGeometry g = geometryOf(bar, w, h);
    const Ink ink = findInk(image, g.labelBox.toAlignedRect(), UpdaterText);

    // The label box grows for "100.000%" and the label reads "50.000%".
    QVERIFY(g.labelBox.width() > geometryOf(ProgressBarColor(), w, h).labelBox.width());
    const QFontMetrics fm(labelFont(bar, w));
    QVERIFY(qAbs((ink.right - ink.left + 1) - fm.tightBoundingRect("50.000%").width()) <= 2);
    QVERIFY(ink.right - ink.left > plain.right - plain.left);
}

void TestProgressBarColor::separatorLinesOnlyWithStep()
{
    const QColor lines(255, 0, 0);
    ProgressBarColor bar;
    applyUpdaterForm(bar);
    bar.setLineColor(lines);
    const int w = 431, h = 41;

    QCOMPARE(findInk(render(bar, w, h), QRect(0, 0, w, h), lines, 60).count, 0);

    bar.setStep(40);
    const QImage image = render(bar, w, h);
    const ProgressBarGeometry g = geometryOf(bar, w, h);
    QVERIFY(g.separatorXs.size() >= 5);
    const int mid = h / 2;
    double previous = 5;
    for (const double x : g.separatorXs) {
        // An anti-aliased one-pixel line at a fractional x touches the column
        // under it; half-way to the previous line there is none.
        const QRect column(int(x) - 1, mid - 2, 3, 5);
        QVERIFY2(findInk(image, column, lines, 90).count > 0, qPrintable(QString::number(x)));
        const int between = int((previous + x) / 2);
        QCOMPARE(findInk(image, QRect(between, 0, 1, h), lines, 90).count, 0);
        // The lines stay inside the track rows.
        QCOMPARE(findInk(image, QRect(int(x) - 1, 0, 3, bar.getSpace()), lines, 90).count, 0);
        previous = x;
    }
}

QTEST_MAIN(TestProgressBarColor)
#include "tst_progressbarcolor.moc"
