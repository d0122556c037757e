#include <monitor/sliderruler.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

// White-ish or grey (the scale, ticks and labels), not a handle's colour.
bool isBright(QRgb c)
{
    const int lo = qMin(qRed(c), qMin(qGreen(c), qBlue(c)));
    const int hi = qMax(qRed(c), qMax(qGreen(c), qBlue(c)));
    return lo > 90 && hi - lo < 60;
}

int runsOfBright(const QImage &img, int y)
{
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < img.width(); ++x) {
        const bool b = isBright(img.pixel(x, y));
        runs += b && !inRun;
        inRun = b;
    }
    return runs;
}

// Shown at a fixed size with the monitor's start values; counts whole repaints.
struct ShownRuler : QObject
{
    SliderRuler ruler;
    int paints = 0;

    explicit ShownRuler(int w = 500, int h = 70)
    {
        ruler.resize(w, h);
        ruler.show();
        QVERIFY(QTest::qWaitForWindowExposed(&ruler));
        const double starts[] = {0, 1024, 3072, 4095};
        for (int i = 0; i < 4; ++i)
            ruler.setValue(starts[i], i + 1);
        ruler.grab(); // the grips and the scale line are laid out by painting
        ruler.installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        // Not the part behind a blinking cursor.
        paints += event->type() == QEvent::Paint &&
                  static_cast<QPaintEvent *>(event)->rect() == ruler.rect();
        return false;
    }
    QList<double> values() const
    {
        return {ruler.getValue(0), ruler.getValue(1), ruler.getValue(2), ruler.getValue(3)};
    }
    QLineEdit *edit(int index)
    {
        return ruler.findChild<QLineEdit *>(QStringLiteral("lineEdit") + QChar('A' + index));
    }
    QPoint grip(int index) const
    {
        const int h = ruler.height();
        const double gripTop = h * 0.5 - (h / 5) * 0.25 + h / 7;
        return QPoint(qRound(ruler.handleX(index)), int(gripTop + (h / 6) / 2.0));
    }
    void moveTo(QPoint to)
    {
        QMouseEvent move(QEvent::MouseMove, to, ruler.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&ruler, &move);
    }
    void drag(Qt::MouseButton button, QPoint from, std::initializer_list<int> xs)
    {
        QTest::mousePress(&ruler, button, Qt::NoModifier, from);
        for (int x : xs)
            moveTo(from = QPoint(x, from.y()));
        QTest::mouseRelease(&ruler, button, Qt::NoModifier, from);
    }
};

} // namespace

class TestSliderRuler : public QObject
{
    Q_OBJECT

private slots:
    void paintsDespiteRefusedStepsAndRepaintsHugeRange();
    void neighbourRules_data();
    void neighbourRules();
    void dragLimits();
};

void TestSliderRuler::paintsDespiteRefusedStepsAndRepaintsHugeRange()
{
    // Tall and wide: the ticks stand apart and clear of the line edits.
    ShownRuler shown(1000, 140);
    // Refused: a zero or negative step never ends the tick loop or divides by zero,
    // and an empty or reversed range divides by zero when handles are placed.
    shown.ruler.setShortStep(0);
    shown.ruler.setLongStep(0);
    shown.ruler.setRange(10, 0);
    shown.ruler.setMaxValue(0);
    shown.ruler.setMinValue(4096);
    QCOMPARE(shown.ruler.getMinValue(), 0.0);
    QCOMPARE(shown.ruler.getMaxValue(), 4096.0);

    const QImage img = shown.ruler.grab().toImage();
    const int lineY = 70;
    QCOMPARE(QColor(img.pixel(2, 138)), QColor(0, 0, 0));
    QVERIFY(isBright(img.pixel(500, lineY)) || isBright(img.pixel(500, lineY - 1)));
    // Long ticks are 28 pixels, short ones 20: 17 rise above 24, all 129 above 18.
    QCOMPARE(runsOfBright(img, lineY - 24), 17);
    QCOMPARE(runsOfBright(img, lineY - 18), 129);

    for (int i = 0; i < 4; ++i)
        QCOMPARE(QColor(img.pixel(shown.grip(i))), SliderRuler::handleColor(i));

    // Handle 1 cannot follow to 1e6 (past handle 2), yet the new scale is painted;
    // its 3e10 ticks are not (hours of painting otherwise).
    QCoreApplication::processEvents();
    shown.paints = 0;
    shown.ruler.setRange(1e6, 1e12);
    QTRY_VERIFY(shown.paints > 0);
    const QImage huge = shown.ruler.grab().toImage();
    QCOMPARE(runsOfBright(huge, lineY - 18), 0);
    QVERIFY(isBright(huge.pixel(500, lineY)) || isBright(huge.pixel(500, lineY - 1)));
}

void TestSliderRuler::neighbourRules_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("num");
    QTest::addColumn<QList<double>>("handles");
    QTest::addColumn<int>("movedHandle"); // -1: no handle moves

    using L = QList<double>;
    QTest::newRow("no such handle") << 3000.0 << 5 << L{3000, 1024, 3072, 4095} << -1;
    QTest::newRow("handle 2 onto handle 3") << 3072.0 << 2 << L{0, 3072, 3072, 4095} << 1;
    QTest::newRow("handle 4 at the top") << 4096.0 << 4 << L{0, 1024, 3072, 4096} << 3;
}

void TestSliderRuler::neighbourRules()
{
    QFETCH(double, value);
    QFETCH(int, num);
    QFETCH(QList<double>, handles);
    QFETCH(int, movedHandle);

    ShownRuler shown;
    QSignalSpy changed(&shown.ruler, &SliderRuler::valueChanged);

    shown.ruler.setValue(value, num);
    QCOMPARE(shown.values(), handles);
    QCOMPARE(changed.count(), movedHandle < 0 ? 0 : 1);
    if (movedHandle >= 0) {
        QCOMPARE(shown.ruler.handleX(movedHandle), 13 + (500 - 26) * value / 4096);
        QCOMPARE(shown.edit(movedHandle)->text(), QString::number(int(value)));
    }
}

void TestSliderRuler::dragLimits()
{
    ShownRuler shown;
    QSignalSpy changed(&shown.ruler, &SliderRuler::valueChanged);
    QSignalSpy finals(&shown.ruler, &SliderRuler::FinalDataChange);

    // The right button does not grab a handle, nor does the left one beside the grips.
    shown.drag(Qt::RightButton, shown.grip(1), {200});
    shown.drag(Qt::LeftButton, QPoint(300, 5), {200});
    QCOMPARE(changed.count() + finals.count(), 0);

    // Handle 3 to a whole pixel, then handle 2 onto it: the limits are included. One
    // pixel further, or back past handle 1, is ignored rather than pulled to the limit.
    shown.drag(Qt::LeftButton, shown.grip(2), {300});
    shown.drag(Qt::LeftButton, shown.grip(1), {300, 301, 5});
    const double atThird = 4096.0 * (300 - 13) / 474;
    QCOMPARE(changed.count(), 2);
    QCOMPARE(finals.count(), 2);
    QCOMPARE(shown.values(), (QList<double>{0, atThird, atThird, 4095}));
    QCOMPARE(shown.ruler.getValue(), atThird);
    QCOMPARE(shown.ruler.handleX(1), 300.0);
    QCOMPARE(shown.edit(1)->text(), QString::number(int(atThird)));
    shown.moveTo(QPoint(250, shown.grip(1).y())); // released: no longer dragging
    QCOMPARE(changed.count(), 2);

    // Handle 4 reaches the right end of the scale, the top of the range, and no further.
    shown.drag(Qt::LeftButton, shown.grip(3), {487, 488});
    QCOMPARE(shown.ruler.getValue(3), 4096.0);
}

QTEST_MAIN(TestSliderRuler)
#include "tst_sliderruler.moc"
