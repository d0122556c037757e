#include "pixelprobe.h"
#include <gauges/lightbutton.h>

#include <QMouseEvent>
#include <QtTest>

namespace {

const QColor Backdrop(255, 0, 255);
const QColor Outer(255, 0, 0);
const QColor Inner(0, 255, 0);
const QColor Body(0, 0, 255);

// Flat rings on a known backdrop, so that every probe tells the parts apart.
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

// Pixel at a distance in units of the 200-unit square from the centre.
QColor probe(const QImage &image, QPoint direction, double logical)
{
    const double scale = qMin(image.width(), image.height()) / 200.0;
    const double x = image.width() / 2 + direction.x() * logical * scale;
    const double y = image.height() / 2 + direction.y() * logical * scale;
    return image.pixelColor(int(std::floor(x)), int(std::floor(y)));
}

// A move carries the button as held: Qt drops button-less moves to a widget
// without mouse tracking before any event filter sees them.
void send(QWidget *widget, QEvent::Type type, QPoint pos)
{
    QMouseEvent event(type, pos, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class tst_LightButton : public QObject
{
    Q_OBJECT

private slots:
    void roundAndCentred();
    void drag();
};

void tst_LightButton::roundAndCentred()
{
    LightButton lamp;
    lamp.resize(301, 120);
    paintFlat(lamp);
    const QImage image = grabbed(lamp);
    for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
        QCOMPARE(probe(image, d, 94.5), Outer);
        QCOMPARE(probe(image, d, 85), Inner);
        QCOMPARE(probe(image, d, 40), Body);
    }
    QCOMPARE(probe(image, QPoint(1, 0), 104), Backdrop);
}

void tst_LightButton::drag()
{
    QWidget parent;
    parent.resize(400, 300);
    auto *lamp = new LightButton(&parent);
    lamp->setGeometry(50, 50, 100, 100);
    lamp->setCanMove(true);
    auto *fixed = new LightButton(&parent);
    fixed->setGeometry(200, 100, 100, 100);

    send(lamp, QEvent::MouseButtonPress, QPoint(10, 10));
    send(fixed, QEvent::MouseButtonPress, QPoint(10, 10));
    // Each lamp keeps its own drag state (one never pressed stays), and a fixed one never moves.
    for (LightButton *other : {fixed, new LightButton(&parent)}) {
        other->setCanMove(other != fixed);
        const QPoint at = other->pos();
        send(other, QEvent::MouseMove, QPoint(60, 60));
        QCOMPARE(other->pos(), at);
    }
    send(lamp, QEvent::MouseMove, QPoint(30, 25));
    QCOMPARE(lamp->pos(), QPoint(70, 65));
    send(lamp, QEvent::MouseMove, QPoint(30, 25)); // the press point travels with the lamp
    QCOMPARE(lamp->pos(), QPoint(90, 80));
    send(lamp, QEvent::MouseButtonRelease, QPoint(30, 25));
    send(lamp, QEvent::MouseMove, QPoint(60, 60));
    QCOMPARE(lamp->pos(), QPoint(90, 80));
}

QTEST_MAIN(tst_LightButton)
#include "tst_lightbutton.moc"
