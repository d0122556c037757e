#include "pixelprobe.h"
#include <gauges/roundcircle.h>

#include <QtTest>

#include <cmath>

namespace {

// Pixels of the colour whose distance from the centre lies in [inner, outer).
QVector<QPointF> pixelsOf(const QImage &image, const QColor &color, double inner, double outer)
{
    QVector<QPointF> found;
    const QPointF centre(image.width() / 2.0, image.height() / 2.0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QPointF p = QPointF(x + 0.5, y + 0.5) - centre;
            const double r = std::hypot(p.x(), p.y());
            if (r >= inner && r < outer && near(image.pixel(x, y), color, 40))
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

// What the updater does to show "connected" (clockwise) or "not found".
void setState(RoundCircle &ring, bool clockWise, const QColor &color)
{
    ring.setClockWise(clockWise);
    ring.setPieColor1Start(color);
    ring.setPieColor1End(color);
}

} // namespace

class TestRoundCircle : public QObject
{
    Q_OBJECT

private slots:
    void stateShowsAndTurns_data();
    void stateShowsAndTurns();
    void animatesOnlyWhileShown();
};

void TestRoundCircle::stateShowsAndTurns_data()
{
    QTest::addColumn<bool>("clockWise");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QColor>("other");
    QTest::newRow("connected") << true << QColor(0, 0, 255) << QColor(255, 0, 0);
    QTest::newRow("not found") << false << QColor(255, 0, 0) << QColor(0, 0, 255);
}

void TestRoundCircle::stateShowsAndTurns()
{
    QFETCH(bool, clockWise);
    QFETCH(QColor, color);
    QFETCH(QColor, other);
    RoundCircle ring;
    // The updater's form writes the ring's gradient by property name.
    ring.setProperty("bgColorStart", QColor(52, 229, 20));
    ring.setProperty("bgColorEnd", QColor(23, 48, 89));
    ring.resize(61, 51); // as the updater places it
    setState(ring, !clockWise, other);
    setState(ring, clockWise, color);
    QImage image = grabbed(ring);

    // The centre dot and the arc beyond the ring both carry the state colour,
    // and nothing of the previous state is left.
    QVERIFY(near(image.pixel(30, 25), color, 40));
    QVERIFY(pixelsOf(image, color, 51 * 0.2, 51 / 2.0).size() > 30);
    QCOMPARE(pixelsOf(image, other, 0, 100).size(), 0);
    // The ring keeps its vertical gradient where the arc is not (a ring never
    // shown has not turned: the arc spans 0 to 100 degrees up from 3 o'clock).
    QVERIFY(near(image.pixel(30, 44), QColor(25, 61, 84), 20));  // bottom: nearly bgColorEnd
    QVERIFY(near(image.pixel(10, 25), QColor(37, 138, 54), 20)); // left: half way

    // Shown, the arc turns by one or two 10-degree frames at a time, in the asked direction.
    ring.resize(200, 200);
    ring.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ring));
    for (int round = 0; round < 3; ++round) {
        image = grabbed(ring);
        const int angle = ring.getAngle();
        QTRY_VERIFY(ring.getAngle() != angle);
        double turned = arcDirection(grabbed(ring), color) - arcDirection(image, color);
        turned = std::remainder(turned, 360.0);
        QVERIFY2(clockWise ? turned > 5 && turned < 45 : turned < -5 && turned > -45,
                 qPrintable(QString::number(turned)));
    }
}

void TestRoundCircle::animatesOnlyWhileShown()
{
    // A hidden ring must not keep a 25 fps timer waking the program, whether
    // its window or the ring itself is hidden.
    QWidget window;
    window.resize(200, 100);
    auto *ring = new RoundCircle(&window);
    ring->setGeometry(10, 10, 61, 51);
    QVERIFY(!ring->isAnimating());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    for (QWidget *hidden : {static_cast<QWidget *>(&window), static_cast<QWidget *>(ring)}) {
        QVERIFY(ring->isAnimating()); // that it then turns, the test above shows
        hidden->hide();
        QVERIFY(!ring->isAnimating());
        const int angle = ring->getAngle();
        QTest::qWait(200);
        QCOMPARE(ring->getAngle(), angle);
        hidden->show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QVERIFY(ring->isAnimating());
}

QTEST_MAIN(TestRoundCircle)
#include "tst_roundcircle.moc"
