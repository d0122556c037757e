#include "roundcircle.h"

#include <QtTest>

#include <cmath>

namespace {

bool near(QRgb pixel, const QColor &color, int tolerance = 40)
{
    return qAbs(qRed(pixel) - color.red()) <= tolerance &&
           qAbs(qGreen(pixel) - color.green()) <= tolerance &&
           qAbs(qBlue(pixel) - color.blue()) <= tolerance;
}

// The updater's form settings of the ring.
void applyUpdaterForm(RoundCircle &ring)
{
    ring.setProperty("bgColorStart", QColor(52, 229, 20));
    ring.setProperty("bgColorEnd", QColor(23, 48, 89));
}

void setState(RoundCircle &ring, bool clockWise, const QColor &color)
{
    ring.setClockWise(clockWise);
    ring.setPieColor1Start(color);
    ring.setPieColor1End(color);
}

QImage render(RoundCircle &ring)
{
    return ring.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels of the colour whose distance from the centre lies in [inner, outer).
QVector<QPointF> pixelsOf(const QImage &image, const QColor &color, double inner, double outer)
{
    QVector<QPointF> found;
    const QPointF centre(image.width() / 2.0, image.height() / 2.0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QPointF p = QPointF(x + 0.5, y + 0.5) - centre;
            const double r = std::hypot(p.x(), p.y());
            if (r >= inner && r < outer && near(image.pixel(x, y), color))
                found.append(p);
        }
    return found;
}

// Direction of the arc's middle in screen degrees (y down: growing clockwise).
double arcDirection(const QImage &image, const QColor &color)
{
    // Only the arc reaches beyond the ring, between radius 92 and 97 of 100.
    const double scale = qMin(image.width(), image.height()) / 200.0;
    double sx = 0, sy = 0;
    for (const QPointF &p : pixelsOf(image, color, 92 * scale, 97 * scale)) {
        const double r = std::hypot(p.x(), p.y());
        sx += p.x() / r;
        sy += p.y() / r;
    }
    return std::atan2(sy, sx) * 180.0 / M_PI;
}

double turnBetween(double from, double to)
{
    double d = std::fmod(to - from, 360.0);
    if (d > 180)
        d -= 360;
    if (d <= -180)
        d += 360;
    return d;
}

} // namespace

class TestRoundCircle : public QObject
{
    Q_OBJECT

private slots:
    void properties();
    void nextAngle_data();
    void nextAngle();
    void stateColoursShow_data();
    void stateColoursShow();
    void directionTurnsTheArc_data();
    void directionTurnsTheArc();
    void animatesOnlyWhileShown();
    void stopsWithHiddenParent();
};

void TestRoundCircle::properties()
{
    RoundCircle ring;
    applyUpdaterForm(ring);
    QCOMPARE(ring.getBgColorStart(), QColor(52, 229, 20));
    QCOMPARE(ring.getBgColorEnd(), QColor(23, 48, 89));
    setState(ring, false, QColor(255, 0, 0));
    QCOMPARE(ring.getClockWise(), false);
    QCOMPARE(ring.property("clockWise").toBool(), false);
    QCOMPARE(ring.property("pieColor1Start").value<QColor>(), QColor(255, 0, 0));
    QCOMPARE(ring.property("pieColor1End").value<QColor>(), QColor(255, 0, 0));
    QVERIFY(ring.setProperty("pieColor1End", QColor(0, 0, 255)));
    QCOMPARE(ring.getPieColor1End(), QColor(0, 0, 255));
    QVERIFY(ring.sizeHint().isValid());
    QVERIFY(ring.minimumSizeHint().width() <= 61 && ring.minimumSizeHint().height() <= 51);
}

void TestRoundCircle::nextAngle_data()
{
    QTest::addColumn<int>("angle");
    QTest::addColumn<bool>("clockWise");
    QTest::addColumn<int>("next");
    QTest::newRow("clockwise") << 0 << true << 10;
    QTest::newRow("clockwise wraps") << 350 << true << 0;
    QTest::newRow("counter-clockwise wraps") << 0 << false << 350;
    QTest::newRow("counter-clockwise") << 180 << false << 170;
}

void TestRoundCircle::nextAngle()
{
    QFETCH(int, angle);
    QFETCH(bool, clockWise);
    QTEST(RoundCircle::nextAngle(angle, clockWise), "next");
}

void TestRoundCircle::stateColoursShow_data()
{
    QTest::addColumn<bool>("clockWise");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QColor>("other");
    QTest::newRow("connected") << true << QColor(0, 0, 255) << QColor(255, 0, 0);
    QTest::newRow("not found") << false << QColor(255, 0, 0) << QColor(0, 0, 255);
}

void TestRoundCircle::stateColoursShow()
{
    QFETCH(bool, clockWise);
    QFETCH(QColor, color);
    QFETCH(QColor, other);
    RoundCircle ring;
    applyUpdaterForm(ring);
    ring.resize(61, 51); // as the updater places it
    setState(ring, !clockWise, other);
    setState(ring, clockWise, color);
    const QImage image = render(ring);

    // The centre dot and the arc beyond the ring both carry the state colour,
    // and nothing of the previous state is left.
    QVERIFY(near(image.pixel(30, 25), color));
    const int side = 51;
    QVERIFY(pixelsOf(image, color, 0, side * 0.1).size() > 20);
    QVERIFY(pixelsOf(image, color, side * 0.2, side / 2.0).size() > 30);
    QCOMPARE(pixelsOf(image, other, 0, 100).size(), 0);
    // The ring keeps its own vertical gradient where the arc is not (a ring
    // never shown has not turned: the arc spans 0 to 100 degrees up from 3 o'clock).
    QCOMPARE(ring.getAngle(), 0);
    QVERIFY(near(image.pixel(30, 44), QColor(25, 61, 84), 20));  // bottom: nearly bgColorEnd
    QVERIFY(near(image.pixel(10, 25), QColor(37, 138, 54), 20)); // left: half way
}

void TestRoundCircle::directionTurnsTheArc_data()
{
    QTest::addColumn<bool>("clockWise");
    QTest::newRow("clockwise") << true;
    QTest::newRow("counter-clockwise") << false;
}

void TestRoundCircle::directionTurnsTheArc()
{
    QFETCH(bool, clockWise);
    const QColor color = clockWise ? QColor(0, 0, 255) : QColor(255, 0, 0);
    RoundCircle ring;
    applyUpdaterForm(ring);
    setState(ring, clockWise, color);
    ring.resize(200, 200);
    ring.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ring));

    for (int round = 0; round < 3; ++round) {
        const QImage before = render(ring);
        const int angle = ring.getAngle();
        QTRY_VERIFY(ring.getAngle() != angle);
        const QImage after = render(ring);
        const double turned = turnBetween(arcDirection(before, color), arcDirection(after, color));
        // One or two frames of 10 degrees each, in the asked direction.
        QVERIFY2(clockWise ? turned > 5 && turned < 45 : turned < -5 && turned > -45,
                 qPrintable(QString::number(turned)));
    }
}

void TestRoundCircle::animatesOnlyWhileShown()
{
    RoundCircle ring;
    ring.resize(61, 51);
    QVERIFY(!ring.isAnimating());

    ring.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ring));
    QVERIFY(ring.isAnimating());
    int angle = ring.getAngle();
    QTRY_VERIFY(ring.getAngle() != angle);

    ring.hide();
    QVERIFY(!ring.isAnimating());
    angle = ring.getAngle();
    QTest::qWait(200);
    QCOMPARE(ring.getAngle(), angle);

    ring.show();
    QVERIFY(ring.isAnimating());
    QTRY_VERIFY(ring.getAngle() != angle);
}

void TestRoundCircle::stopsWithHiddenParent()
{
    QWidget window;
    window.resize(200, 100);
    auto *ring = new RoundCircle(&window);
    ring->setGeometry(10, 10, 61, 51);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(ring->isAnimating());

    window.hide();
    QVERIFY(!ring->isAnimating());
    const int angle = ring->getAngle();
    QTest::qWait(200);
    QCOMPARE(ring->getAngle(), angle);

    window.show();
    QVERIFY(ring->isAnimating());
}

QTEST_MAIN(TestRoundCircle)
#include "tst_roundcircle.moc"
