#include "pixelprobe.h"
#include <gauges/lightbutton.h>

#include <QMouseEvent>
#include <QtTest>

namespace {

const QColor Backdrop(255, 0, 255);
const QColor Outer(255, 0, 0);
const QColor Inner(0, 255, 0);
const QColor Body(0, 0, 255);

// A lamp on a known backdrop with flat rings and no highlight, so that every
// probe can tell outer ring, inner ring, body and outside apart.
void paintFlat(LightButton &lamp)
{
    QPalette palette = lamp.palette();
    palette.setColor(QPalette::Window, Backdrop);
    lamp.setPalette(palette);
    lamp.setAutoFillBackground(true);
    lamp.setBorderOutColorStart(Outer);
    lamp.setBorderOutColorEnd(Outer);
    lamp.setBorderInColorStart(Inner);
    lamp.setBorderInColorEnd(Inner);
    lamp.setBgColor(Body);
    lamp.setShowOverlay(false);
}

// Pixel at a distance in logical units (of the 200-unit square) from the
// painting centre, along one of the four axis directions.
QColor probe(const QImage &image, QPoint direction, double logical)
{
    const double scale = qMin(image.width(), image.height()) / 200.0;
    const double x = image.width() / 2 + direction.x() * logical * scale;
    const double y = image.height() / 2 + direction.y() * logical * scale;
    return image.pixelColor(int(std::floor(x)), int(std::floor(y)));
}

// A move carries the button as held: Qt drops button-less moves to a widget
// without mouse tracking before any event filter sees them.
void send(QWidget *widget, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    QMouseEvent event(type, pos, type == QEvent::MouseMove ? Qt::NoButton : button,
                      type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : button,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class tst_LightButton : public QObject
{
    Q_OBJECT

private slots:
    void roundAndCentred_data();
    void roundAndCentred();
    void textAndHighlight();
    void drag_data();
    void drag();
};

void tst_LightButton::roundAndCentred_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("50x100") << QSize(50, 100);
    QTest::newRow("301x120") << QSize(301, 120);
}

void tst_LightButton::roundAndCentred()
{
    QFETCH(QSize, size);
    LightButton lamp;
    lamp.resize(size);
    paintFlat(lamp);
    const QImage image = grabbed(lamp);

    for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
        // Outer ring 90..99, inner ring 80..90, body inside 80 (logical units).
        QCOMPARE(probe(image, d, 94.5), Outer);
        QCOMPARE(probe(image, d, 85), Inner);
        QCOMPARE(probe(image, d, 40), Body);
    }
    // Just outside the outer ring along the longer side is the backdrop.
    const QPoint along = size.width() > size.height() ? QPoint(1, 0) : QPoint(0, 1);
    QCOMPARE(probe(image, along, 104), Backdrop);
    QCOMPARE(probe(image, -along, 104), Backdrop);
}

void tst_LightButton::textAndHighlight()
{
    LightButton lamp;
    lamp.resize(200, 200);
    paintFlat(lamp);
    lamp.setTextColor(QColor(255, 255, 0));

    // No text and no highlight: every pixel within the body is the body colour.
    QImage image = grabbed(lamp);
    for (int y = 25; y < 175; ++y)
        for (int x = 25; x < 175; ++x)
            if (QLineF(x + 0.5, y + 0.5, 100, 100).length() < 78 && image.pixelColor(x, y) != Body)
                QFAIL(qPrintable(QString("pixel %1,%2 is not body colour").arg(x).arg(y)));

    // One letter: drawn in the text colour, centred in the lamp.
    lamp.setText("H");
    const QRect letter = inkOf(grabbed(lamp), QRect(0, 0, 200, 200), QColor(255, 255, 0), 55);
    QVERIFY2(letter.width() > 10 && letter.height() > 10, "the letter is drawn");
    QVERIFY2(qAbs(letter.left() + letter.right() - 200) <= 6, "centred horizontally");
    QVERIFY2(qAbs(letter.top() + letter.bottom() - 200) <= 20, "centred vertically");

    // The crescent lights the top of the body only.
    lamp.setText(QString());
    lamp.setShowOverlay(true);
    image = grabbed(lamp);
    const QColor top = image.pixelColor(100, 50);
    QVERIFY2(top.red() > 40 && top.green() > 40 && top.blue() == 255, "lit top");
    QCOMPARE(image.pixelColor(100, 130), Body);

    // Painting works on copies: the stored colour keeps its alpha.
    const QColor translucent(10, 20, 30, 200);
    lamp.setOverlayColor(translucent);
    lamp.grab();
    lamp.grab();
    QCOMPARE(lamp.getOverlayColor(), translucent);
}

void tst_LightButton::drag_data()
{
    QTest::addColumn<bool>("canMove");
    QTest::addColumn<int>("buttonNumber");
    QTest::addColumn<QPoint>("moved");
    QTest::addColumn<int>("pressCursor"); // -1: none set
    QTest::addColumn<int>("releaseCursor");

    QTest::newRow("fixed lamp") << false << int(Qt::LeftButton) << QPoint(50, 50) << -1 << -1;
    // The right button shows the hand but starts no drag, so the release keeps it.
    QTest::newRow("right button") << true << int(Qt::RightButton) << QPoint(50, 50)
                                  << int(Qt::OpenHandCursor) << int(Qt::OpenHandCursor);
    QTest::newRow("left button") << true << int(Qt::LeftButton) << QPoint(70, 65)
                                 << int(Qt::OpenHandCursor) << int(Qt::ArrowCursor);
}

void tst_LightButton::drag()
{
    QFETCH(bool, canMove);
    QFETCH(int, buttonNumber);
    const auto button = Qt::MouseButton(buttonNumber);
    QFETCH(QPoint, moved);
    QFETCH(int, pressCursor);
    QFETCH(int, releaseCursor);
    QWidget parent;
    parent.resize(400, 300);
    auto *lamp = new LightButton(&parent);
    lamp->setGeometry(50, 50, 100, 100);
    lamp->setCanMove(canMove);
    auto *other = new LightButton(&parent);
    other->setGeometry(200, 100, 100, 100);
    other->setCanMove(true);
    auto cursor = [&] {
        return lamp->testAttribute(Qt::WA_SetCursor) ? lamp->cursor().shape() : -1;
    };

    send(lamp, QEvent::MouseMove, QPoint(40, 30), button); // no press yet: nothing moves
    QCOMPARE(lamp->pos(), QPoint(50, 50));
    send(lamp, QEvent::MouseButtonPress, QPoint(10, 10), button);
    QCOMPARE(cursor(), pressCursor);
    // Each lamp keeps its own drag state: a press on one never moves another.
    send(other, QEvent::MouseMove, QPoint(60, 60), Qt::LeftButton);
    QCOMPARE(other->pos(), QPoint(200, 100));
    send(lamp, QEvent::MouseMove, QPoint(30, 25), button);
    QCOMPARE(lamp->pos(), moved);
    // The local position travels with the lamp: the same point again means the
    // mouse went on by the same offset.
    send(lamp, QEvent::MouseMove, QPoint(30, 25), button);
    QCOMPARE(lamp->pos(), moved * 2 - QPoint(50, 50));
    send(lamp, QEvent::MouseButtonRelease, QPoint(30, 25), button);
    QCOMPARE(cursor(), releaseCursor);
    send(lamp, QEvent::MouseMove, QPoint(60, 60), Qt::LeftButton);
    QCOMPARE(lamp->pos(), moved * 2 - QPoint(50, 50));
}

QTEST_MAIN(tst_LightButton)
#include "tst_lightbutton.moc"
