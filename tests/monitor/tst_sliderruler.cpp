#include "sliderruler.h"

#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Counts the paint events a widget receives, to prove that a setter repaints or not.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

double expectedX(int width, double v)
{
    return 13 + (width - 26) * v / 4096;
}

// A ruler shown at a fixed size with the monitor's four start values placed for it.
struct ShownRuler
{
    SliderRuler ruler;
    explicit ShownRuler(int w = 500, int h = 70)
    {
        ruler.resize(w, h);
        ruler.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ruler));
        const double starts[] = {0, 1024, 3072, 4095};
        for (int i = 0; i < 4; ++i)
            ruler.setValue(starts[i], i + 1);
        ruler.grab(); // the grips and the scale line are laid out by painting
    }
    QLineEdit *edit(int index)
    {
        static const char *names[] = {"lineEditA", "lineEditB", "lineEditC", "lineEditD"};
        return ruler.findChild<QLineEdit *>(names[index]);
    }
    QPoint grip(int index) const
    {
        // Centre of the grip: below the marker, as the painting lays it out.
        const int h = ruler.height();
        const double apexY = h * 0.5 - (h / 5) * 0.25;
        const double gripTop = apexY + h / 7;
        return QPoint(qRound(ruler.handleX(index)), int(gripTop + (h / 6) / 2.0));
    }
};

// White-ish or grey (the scale, ticks and labels), not a handle's colour.
bool isBright(QRgb c)
{
    const int lo = qMin(qRed(c), qMin(qGreen(c), qBlue(c)));
    const int hi = qMax(qRed(c), qMax(qGreen(c), qBlue(c)));
    return lo > 90 && hi - lo < 60;
}

// A move with the left button held, delivered straight to the widget.
void dragTo(QWidget *widget, QPoint pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

int runsOfBright(const QImage &img, int y)
{
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < img.width(); ++x) {
        const bool b = isBright(img.pixel(x, y));
        if (b && !inRun)
            ++runs;
        inRun = b;
    }
    return runs;
}

} // namespace

class TestSliderRuler : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void setters_data();
    void setters();
    void unchangedSetterRepaintsNothing();
    void ranges_data();
    void ranges();
    void placement();
    void neighbourRules_data();
    void neighbourRules();
    void resizeReplacesOnlyFirstHandle();
    void typedValues_data();
    void typedValues();
    void dragLimits();
    void pressAndReleaseWithoutMove();
    void pressesThatDoNotGrab_data();
    void pressesThatDoNotGrab();
    void paintsTicksLabelsAndHandles();
    void paintsHugeRangeWithoutHanging();
};

void TestSliderRuler::defaults()
{
    SliderRuler ruler;
    QCOMPARE(ruler.property("minValue").toDouble(), 0.0);
    QCOMPARE(ruler.property("maxValue").toDouble(), 4096.0);
    QCOMPARE(ruler.property("value").toDouble(), 0.0);
    QCOMPARE(ruler.property("longStep").toInt(), 256);
    QCOMPARE(ruler.property("shortStep").toInt(), 32);
    QCOMPARE(ruler.property("space").toInt(), 13);
    QCOMPARE(ruler.property("lineColor").value<QColor>(), QColor(255, 255, 255));
    QCOMPARE(ruler.property("sliderColorTop").value<QColor>(), QColor(85, 170, 255));
    QCOMPARE(ruler.property("tipTextColor").value<QColor>(), QColor(50, 50, 50));
    const double starts[] = {0, 1024, 3072, 4095};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(ruler.getValue(i), starts[i]);
    QCOMPARE(ruler.getValue(7), 0.0);
    QCOMPARE(ruler.sizeHint(), QSize(500, 70));
    QCOMPARE(ruler.minimumSizeHint(), QSize(50, 50));
    QCOMPARE(ruler.font().family(), QString("Arial"));
}

void TestSliderRuler::setters_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("precision 3") << QByteArray("precision") << QVariant(3) << QVariant(3);
    QTest::newRow("precision 4 refused") << QByteArray("precision") << QVariant(4) << QVariant(0);
    QTest::newRow("longStep 512") << QByteArray("longStep") << QVariant(512) << QVariant(512);
    QTest::newRow("longStep below shortStep refused")
        << QByteArray("longStep") << QVariant(16) << QVariant(256);
    QTest::newRow("longStep 0 refused") << QByteArray("longStep") << QVariant(0) << QVariant(256);
    QTest::newRow("shortStep 64") << QByteArray("shortStep") << QVariant(64) << QVariant(64);
    QTest::newRow("shortStep above longStep refused")
        << QByteArray("shortStep") << QVariant(300) << QVariant(32);
    QTest::newRow("shortStep 0 refused") << QByteArray("shortStep") << QVariant(0) << QVariant(32);
    QTest::newRow("shortStep negative refused")
        << QByteArray("shortStep") << QVariant(-32) << QVariant(32);
    QTest::newRow("space") << QByteArray("space") << QVariant(20) << QVariant(20);
    QTest::newRow("bgColorStart") << QByteArray("bgColorStart") << QVariant(QColor(1, 2, 3))
                                  << QVariant(QColor(1, 2, 3));
    QTest::newRow("bgColorEnd") << QByteArray("bgColorEnd") << QVariant(QColor(4, 5, 6))
                                << QVariant(QColor(4, 5, 6));
    QTest::newRow("lineColor") << QByteArray("lineColor") << QVariant(QColor(9, 9, 9))
                               << QVariant(QColor(9, 9, 9));
    QTest::newRow("sliderColorBottom") << QByteArray("sliderColorBottom")
                                       << QVariant(QColor(7, 7, 7)) << QVariant(QColor(7, 7, 7));
    QTest::newRow("tipBgColor") << QByteArray("tipBgColor") << QVariant(QColor(8, 8, 8))
                                << QVariant(QColor(8, 8, 8));
    QTest::newRow("value") << QByteArray("value") << QVariant(512.5) << QVariant(512.5);
    QTest::newRow("value out of scale refused")
        << QByteArray("value") << QVariant(5000.0) << QVariant(0.0);
}

void TestSliderRuler::setters()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, written);
    QFETCH(QVariant, stored);

    SliderRuler ruler;
    QVERIFY(ruler.setProperty(property, written));
    QCOMPARE(ruler.property(property), stored);
}

void TestSliderRuler::unchangedSetterRepaintsNothing()
{
    ShownRuler shown;
    PaintCounter counter;
    shown.ruler.installEventFilter(&counter);
    QCoreApplication::processEvents();
    counter.paints = 0;

    shown.ruler.setLineColor(QColor(255, 255, 255));
    shown.ruler.setPrecision(0);
    shown.ruler.setSpace(13);
    shown.ruler.setShortStep(0);
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 0);

    shown.ruler.setLineColor(QColor(200, 0, 0));
    QTRY_VERIFY(counter.paints > 0);
}

void TestSliderRuler::ranges_data()
{
    QTest::addColumn<double>("minValue");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<double>("storedMin");
    QTest::addColumn<double>("storedMax");
    QTest::addColumn<double>("firstHandle");

    QTest::newRow("equal ends refused") << 5.0 << 5.0 << 0.0 << 4096.0 << 0.0;
    QTest::newRow("reversed refused") << 10.0 << 0.0 << 0.0 << 4096.0 << 0.0;
    QTest::newRow("accepted moves handle 1") << 100.0 << 2000.0 << 100.0 << 2000.0 << 100.0;
}

void TestSliderRuler::ranges()
{
    QFETCH(double, minValue);
    QFETCH(double, maxValue);
    QFETCH(double, storedMin);
    QFETCH(double, storedMax);
    QFETCH(double, firstHandle);

    SliderRuler ruler;
    ruler.setRange(minValue, maxValue);
    QCOMPARE(ruler.getMinValue(), storedMin);
    QCOMPARE(ruler.getMaxValue(), storedMax);
    QCOMPARE(ruler.getValue(0), firstHandle);

    SliderRuler byInts;
    byInts.setRange(int(minValue), int(maxValue));
    QCOMPARE(byInts.getMinValue(), storedMin);
    QCOMPARE(byInts.getMaxValue(), storedMax);

    SliderRuler single;
    single.setMaxValue(0); // equal to the current minimum
    QCOMPARE(single.getMaxValue(), 4096.0);
    single.setMinValue(4096);
    QCOMPARE(single.getMinValue(), 0.0);
}

void TestSliderRuler::placement()
{
    ShownRuler shown;
    const double starts[] = {0, 1024, 3072, 4095};
    const char *texts[] = {"0", "1024", "3072", "4095"};
    for (int i = 0; i < 4; ++i) {
        const double x = expectedX(500, starts[i]);
        QCOMPARE(shown.ruler.handleX(i), x);
        QCOMPARE(shown.edit(i)->pos(), QPoint(int(x), 1));
        QCOMPARE(shown.edit(i)->text(), QString(texts[i]));
    }
}

void TestSliderRuler::neighbourRules_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("num");
    QTest::addColumn<QList<double>>("handles");
    QTest::addColumn<double>("lastValue");
    QTest::addColumn<int>("movedHandle"); // -1: no handle moves
    QTest::addColumn<int>("changedSignals");

    using L = QList<double>;
    QTest::newRow("out of scale") << 5000.0 << 2 << L{0, 1024, 3072, 4095} << 0.0 << -1 << 0;
    QTest::newRow("below scale") << -1.0 << 1 << L{0, 1024, 3072, 4095} << 0.0 << -1 << 0;
    QTest::newRow("handle 1 past handle 2 falls back")
        << 2000.0 << 1 << L{2000, 1024, 3072, 4095} << 2000.0 << -1 << 0;
    QTest::newRow("handle 3 below handle 2 falls back")
        << 500.0 << 3 << L{500, 1024, 3072, 4095} << 500.0 << -1 << 0;
    QTest::newRow("no such handle falls back")
        << 3000.0 << 5 << L{3000, 1024, 3072, 4095} << 3000.0 << -1 << 0;
    QTest::newRow("handle 2 between") << 2000.0 << 2 << L{0, 2000, 3072, 4095} << 2000.0 << 1 << 1;
    QTest::newRow("handle 2 onto handle 3")
        << 3072.0 << 2 << L{0, 3072, 3072, 4095} << 3072.0 << 1 << 1;
    QTest::newRow("handle 4 at the top")
        << 4096.0 << 4 << L{0, 1024, 3072, 4096} << 4096.0 << 3 << 1;
    QTest::newRow("handle 1 up to handle 2")
        << 1024.0 << 1 << L{1024, 1024, 3072, 4095} << 1024.0 << 0 << 1;
}

void TestSliderRuler::neighbourRules()
{
    QFETCH(double, value);
    QFETCH(int, num);
    QFETCH(QList<double>, handles);
    QFETCH(double, lastValue);
    QFETCH(int, movedHandle);
    QFETCH(int, changedSignals);

    ShownRuler shown;
    double xs[4];
    QPoint edits[4];
    for (int i = 0; i < 4; ++i) {
        xs[i] = shown.ruler.handleX(i);
        edits[i] = shown.edit(i)->pos();
    }
    shown.ruler.setValue(0.0); // `value` back to a known start: handle 1 is already at 0
    QSignalSpy changed(&shown.ruler, &SliderRuler::valueChanged);
    QSignalSpy finals(&shown.ruler, &SliderRuler::FinalDataChange);

    shown.ruler.setValue(value, num);

    for (int i = 0; i < 4; ++i)
        QCOMPARE(shown.ruler.getValue(i), handles[i]);
    QCOMPARE(shown.ruler.getValue(), lastValue);
    QCOMPARE(changed.count(), changedSignals);
    QCOMPARE(finals.count(), 0);
    for (int i = 0; i < 4; ++i) {
        if (i == movedHandle) {
            QCOMPARE(shown.ruler.handleX(i), expectedX(500, value));
            QCOMPARE(shown.edit(i)->text(), QString::number(int(value)));
        } else {
            QCOMPARE(shown.ruler.handleX(i), xs[i]);
            QCOMPARE(shown.edit(i)->pos(), edits[i]);
        }
    }
}

void TestSliderRuler::resizeReplacesOnlyFirstHandle()
{
    ShownRuler shown;
    shown.ruler.setValue(512, 1);
    const double second = shown.ruler.handleX(1);
    shown.ruler.resize(900, 70);
    QCOMPARE(shown.ruler.handleX(0), expectedX(900, 512));
    QCOMPARE(shown.ruler.handleX(1), second);

    // Hidden, a resize re-places nothing.
    SliderRuler hidden;
    hidden.resize(800, 70);
    QCOMPARE(hidden.handleX(0), 13.0);
}

void TestSliderRuler::typedValues_data()
{
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("handles");
    QTest::addColumn<int>("finals");

    using L = QList<double>;
    QTest::newRow("B 2000") << 1 << "2000" << L{0, 2000, 3072, 4095} << 1;
    QTest::newRow("D 4096") << 3 << "4096" << L{0, 1024, 3072, 4096} << 1;
    QTest::newRow("C abc is 0, falls back to handle 1")
        << 2 << "abc" << L{0, 1024, 3072, 4095} << 1;
    QTest::newRow("C 100 falls back to handle 1") << 2 << "100" << L{100, 1024, 3072, 4095} << 1;
    QTest::newRow("A out of scale still final") << 0 << "9999" << L{0, 1024, 3072, 4095} << 1;
    QTest::newRow("empty does nothing") << 1 << "" << L{0, 1024, 3072, 4095} << 0;
}

void TestSliderRuler::typedValues()
{
    QFETCH(int, edit);
    QFETCH(QString, text);
    QFETCH(QList<double>, handles);
    QFETCH(int, finals);

    ShownRuler shown;
    QLineEdit *lineEdit = shown.edit(edit);
    lineEdit->setFocus();
    lineEdit->clear();
    QSignalSpy finalSpy(&shown.ruler, &SliderRuler::FinalDataChange);
    QTest::keyClicks(lineEdit, text);
    QTest::keyClick(lineEdit, Qt::Key_Return);

    for (int i = 0; i < 4; ++i)
        QCOMPARE(shown.ruler.getValue(i), handles[i]);
    QCOMPARE(finalSpy.count(), finals);
    QCOMPARE(lineEdit->text(), text); // a refused number stays in the edit
    if (finals > 0)
        QVERIFY(!lineEdit->hasFocus());
}

void TestSliderRuler::dragLimits()
{
    ShownRuler shown;
    QSignalSpy changed(&shown.ruler, &SliderRuler::valueChanged);
    QSignalSpy finals(&shown.ruler, &SliderRuler::FinalDataChange);

    // Handle 3 to a whole pixel first, so that handle 2 can land exactly on it.
    QTest::mousePress(&shown.ruler, Qt::LeftButton, Qt::NoModifier, shown.grip(2));
    dragTo(&shown.ruler, QPoint(300, shown.grip(2).y()));
    QTest::mouseRelease(&shown.ruler, Qt::LeftButton, Qt::NoModifier,
                        QPoint(300, shown.grip(2).y()));
    QCOMPARE(shown.ruler.handleX(2), 300.0);
    QCOMPARE(finals.count(), 1);
    changed.clear();

    const QPoint grip = shown.grip(1);
    QTest::mousePress(&shown.ruler, Qt::LeftButton, Qt::NoModifier, grip);

    // Onto handle 3's x is allowed: the limits are included.
    dragTo(&shown.ruler, QPoint(300, grip.y()));
    QCOMPARE(changed.count(), 1);
    const double atThird = 4096.0 * (300 - 13) / 474;
    QCOMPARE(shown.ruler.getValue(1), atThird);
    QCOMPARE(shown.ruler.getValue(), atThird);
    QCOMPARE(shown.ruler.handleX(1), 300.0);
    QCOMPARE(shown.edit(1)->pos(), QPoint(300, 0));
    QCOMPARE(shown.edit(1)->text(), QString::number(int(atThird)));

    // One pixel further is ignored; the handle is not pulled to the limit.
    dragTo(&shown.ruler, QPoint(301, grip.y()));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(shown.ruler.getValue(1), atThird);

    // Back left, past handle 1, is ignored too.
    dragTo(&shown.ruler, QPoint(5, grip.y()));
    QCOMPARE(changed.count(), 1);

    dragTo(&shown.ruler, QPoint(200, grip.y()));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(shown.ruler.getValue(1), 4096.0 * (200 - 13) / 474);

    QTest::mouseRelease(&shown.ruler, Qt::LeftButton, Qt::NoModifier, QPoint(200, grip.y()));
    QCOMPARE(finals.count(), 2);

    // Released: moving no longer drags.
    dragTo(&shown.ruler, QPoint(250, grip.y()));
    QCOMPARE(changed.count(), 2);

    // Handle 4 reaches the right end of the scale, which is the top of the range.
    QTest::mousePress(&shown.ruler, Qt::LeftButton, Qt::NoModifier, shown.grip(3));
    dragTo(&shown.ruler, QPoint(487, grip.y()));
    QCOMPARE(shown.ruler.getValue(3), 4096.0);
    dragTo(&shown.ruler, QPoint(488, grip.y()));
    QCOMPARE(shown.ruler.getValue(3), 4096.0);
    QTest::mouseRelease(&shown.ruler, Qt::LeftButton, Qt::NoModifier, QPoint(488, grip.y()));
}

void TestSliderRuler::pressAndReleaseWithoutMove()
{
    ShownRuler shown;
    QSignalSpy changed(&shown.ruler, &SliderRuler::valueChanged);
    QSignalSpy finals(&shown.ruler, &SliderRuler::FinalDataChange);
    QTest::mouseClick(&shown.ruler, Qt::LeftButton, Qt::NoModifier, shown.grip(3));
    QCOMPARE(finals.count(), 1);
    QCOMPARE(changed.count(), 0);
}

void TestSliderRuler::pressesThatDoNotGrab_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("onGrip");

    QTest::newRow("right button on a grip") << int(Qt::RightButton) << true;
    QTest::newRow("left button beside the grips") << int(Qt::LeftButton) << false;
}

void TestSliderRuler::pressesThatDoNotGrab()
{
    QFETCH(int, button);
    QFETCH(bool, onGrip);

    ShownRuler shown;
    QSignalSpy changed(&shown.ruler, &SliderRuler::valueChanged);
    QSignalSpy finals(&shown.ruler, &SliderRuler::FinalDataChange);
    const QPoint at = onGrip ? shown.grip(1) : QPoint(300, 5);
    QTest::mousePress(&shown.ruler, Qt::MouseButton(button), Qt::NoModifier, at);
    dragTo(&shown.ruler, at + QPoint(20, 0));
    QTest::mouseRelease(&shown.ruler, Qt::MouseButton(button), Qt::NoModifier, at + QPoint(20, 0));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(finals.count(), 0);
    QCOMPARE(shown.ruler.getValue(1), 1024.0);
}

void TestSliderRuler::paintsTicksLabelsAndHandles()
{
    // Tall and wide so that the ticks stand apart and clear of the line edits.
    ShownRuler shown(1000, 140);
    const QImage img = shown.ruler.grab().toImage();
    const int lineY = 70;

    QCOMPARE(QColor(img.pixel(2, 138)), QColor(0, 0, 0));
    QVERIFY(isBright(img.pixel(500, lineY)) || isBright(img.pixel(500, lineY - 1)));

    // Long ticks are 28 pixels, short ones 20: 17 rise above 24, all 129 above 18.
    QCOMPARE(runsOfBright(img, lineY - 24), 17);
    QCOMPARE(runsOfBright(img, lineY - 18), 129);

    // A label hangs below every long tick.
    const double spacing = 256 * (1000 - 26) / 4096.0;
    for (int k = 0; k <= 16; ++k) {
        const int x = qRound(13 + k * spacing);
        bool underHandle = false;
        for (int i = 0; i < 4; ++i)
            underHandle = underHandle || qAbs(shown.ruler.handleX(i) - x) < 25;
        if (underHandle)
            continue; // the handles are painted over the labels
        bool text = false;
        for (int y = lineY + 3; y < lineY + 20 && !text; ++y) {
            for (int dx = -12; dx <= 12 && !text; ++dx) {
                const int px = qBound(0, x + dx, img.width() - 1);
                text = isBright(img.pixel(px, y));
            }
        }
        QVERIFY2(text, qPrintable(QString("no label at %1").arg(k)));
    }

    // Each grip is filled in its handle's colour.
    for (int i = 0; i < 4; ++i)
        QCOMPARE(QColor(img.pixel(shown.grip(i))), SliderRuler::handleColor(i));
}

void TestSliderRuler::paintsHugeRangeWithoutHanging()
{
    ShownRuler shown;
    shown.ruler.setRange(0.0, 1e12);
    const QImage img = shown.ruler.grab().toImage();
    QCOMPARE(runsOfBright(img, 35 - 10), 0); // no ticks
    QVERIFY(isBright(img.pixel(250, 35)) || isBright(img.pixel(250, 34)));
}

QTEST_MAIN(TestSliderRuler)
#include "tst_sliderruler.moc"
