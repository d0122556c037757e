#include "lightbutton.h"

#include <QMouseEvent>
#include <QtTest>

namespace {

// Counts paint events, to prove that an unchanged value repaints nothing.
class PaintCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

const QColor backdrop(255, 0, 255);

// A lamp on a known backdrop with flat rings, so that every probe can tell
// outer ring, inner ring, body and outside apart.
void paintFlat(LightButton &lamp)
{
    QPalette palette = lamp.palette();
    palette.setColor(QPalette::Window, backdrop);
    lamp.setPalette(palette);
    lamp.setAutoFillBackground(true);
    lamp.setBorderOutColorStart(QColor(255, 0, 0));
    lamp.setBorderOutColorEnd(QColor(255, 0, 0));
    lamp.setBorderInColorStart(QColor(0, 255, 0));
    lamp.setBorderInColorEnd(QColor(0, 255, 0));
    lamp.setBgColor(QColor(0, 0, 255));
    lamp.setShowOverlay(false);
}

// Pixel at a distance given in logical units (of the 200-unit square) from
// the painting centre, along one of the four axis directions.
QColor probe(const QImage &image, int dx, int dy, double logical)
{
    const double scale = qMin(image.width(), image.height()) / 200.0;
    const double x = image.width() / 2 + dx * logical * scale;
    const double y = image.height() / 2 + dy * logical * scale;
    return image.pixelColor(int(std::floor(x)), int(std::floor(y)));
}

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
    void defaults_data();
    void defaults();
    void presets_data();
    void presets();
    void repaintOnlyOnChange_data();
    void repaintOnlyOnChange();
    void roundAndCentred_data();
    void roundAndCentred();
    void text();
    void overlay();
    void overlayColorSurvivesPaint();
    void dragRefusedWhenNotMovable();
    void dragWithLeftButton();
    void rightButtonShowsHandOnly();
    void dragStateIsPerLamp();
};

void tst_LightButton::defaults_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("text") << QByteArray("text") << QVariant(QString());
    QTest::newRow("textColor") << QByteArray("textColor") << QVariant(QColor(255, 255, 255));
    QTest::newRow("borderOutColorStart")
        << QByteArray("borderOutColorStart") << QVariant(QColor(255, 255, 255));
    QTest::newRow("borderOutColorEnd")
        << QByteArray("borderOutColorEnd") << QVariant(QColor(166, 166, 166));
    QTest::newRow("borderInColorStart")
        << QByteArray("borderInColorStart") << QVariant(QColor(166, 166, 166));
    QTest::newRow("borderInColorEnd")
        << QByteArray("borderInColorEnd") << QVariant(QColor(255, 255, 255));
    QTest::newRow("bgColor") << QByteArray("bgColor") << QVariant(QColor(100, 184, 255));
    QTest::newRow("canMove") << QByteArray("canMove") << QVariant(false);
    QTest::newRow("showOverlay") << QByteArray("showOverlay") << QVariant(true);
    QTest::newRow("overlayColor") << QByteArray("overlayColor") << QVariant(QColor(255, 255, 255));
}

void tst_LightButton::defaults()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);

    LightButton lamp;
    QCOMPARE(lamp.property(property.constData()), value);
}

void tst_LightButton::presets_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QColor>("color");

    QTest::newRow("green") << QByteArray("setGreen") << QColor(0, 166, 0);
    QTest::newRow("red") << QByteArray("setRed") << QColor(166, 0, 0);
    QTest::newRow("yellow") << QByteArray("setYellow") << QColor(238, 238, 0);
    QTest::newRow("black") << QByteArray("setBlack") << QColor(10, 10, 10);
    QTest::newRow("gray") << QByteArray("setGray") << QColor(129, 129, 129);
    QTest::newRow("blue") << QByteArray("setBlue") << QColor(0, 0, 166);
    QTest::newRow("lightBlue") << QByteArray("setLightBlue") << QColor(100, 184, 255);
    QTest::newRow("lightRed") << QByteArray("setLightRed") << QColor(255, 107, 107);
    QTest::newRow("lightGreen") << QByteArray("setLightGreen") << QColor(24, 189, 155);
}

void tst_LightButton::presets()
{
    QFETCH(QByteArray, slot);
    QFETCH(QColor, color);

    LightButton lamp;
    lamp.resize(200, 200);
    lamp.setBgColor(QColor(1, 2, 3));
    QVERIFY(QMetaObject::invokeMethod(&lamp, slot.constData()));
    QCOMPARE(lamp.getBgColor(), color);

    // The centre lies below the highlight and no text is set: pure body.
    const QImage image = lamp.grab().toImage();
    QCOMPARE(image.pixelColor(100, 100), color);
}

void tst_LightButton::repaintOnlyOnChange_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("same");
    QTest::addColumn<QVariant>("other");

    QTest::newRow("text") << QByteArray("text") << QVariant(QString()) << QVariant(QString("A"));
    QTest::newRow("textColor") << QByteArray("textColor") << QVariant(QColor(255, 255, 255))
                               << QVariant(QColor(0, 0, 0));
    QTest::newRow("borderOutColorStart")
        << QByteArray("borderOutColorStart") << QVariant(QColor(255, 255, 255))
        << QVariant(QColor(1, 1, 1));
    QTest::newRow("borderOutColorEnd")
        << QByteArray("borderOutColorEnd") << QVariant(QColor(166, 166, 166))
        << QVariant(QColor(1, 1, 1));
    QTest::newRow("borderInColorStart")
        << QByteArray("borderInColorStart") << QVariant(QColor(166, 166, 166))
        << QVariant(QColor(1, 1, 1));
    QTest::newRow("borderInColorEnd")
        << QByteArray("borderInColorEnd") << QVariant(QColor(255, 255, 255))
        << QVariant(QColor(1, 1, 1));
    QTest::newRow("bgColor") << QByteArray("bgColor") << QVariant(QColor(100, 184, 255))
                             << QVariant(QColor(0, 166, 0));
    QTest::newRow("canMove") << QByteArray("canMove") << QVariant(false) << QVariant(true);
    QTest::newRow("showOverlay") << QByteArray("showOverlay") << QVariant(true) << QVariant(false);
    QTest::newRow("overlayColor") << QByteArray("overlayColor") << QVariant(QColor(255, 255, 255))
                                  << QVariant(QColor(255, 255, 0));
}

void tst_LightButton::repaintOnlyOnChange()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, same);
    QFETCH(QVariant, other);

    LightButton lamp;
    PaintCounter counter;
    lamp.installEventFilter(&counter);
    lamp.show();
    QVERIFY(QTest::qWaitForWindowExposed(&lamp));
    QTRY_VERIFY(counter.count > 0);
    // Paint once more so that the highlight's colour has been used.
    lamp.repaint();

    counter.count = 0;
    QVERIFY(lamp.setProperty(property.constData(), same));
    QTest::qWait(50);
    QCOMPARE(counter.count, 0);

    QVERIFY(lamp.setProperty(property.constData(), other));
    QTRY_VERIFY(counter.count > 0);
    QCOMPARE(lamp.property(property.constData()), other);
}

void tst_LightButton::roundAndCentred_data()
{
    QTest::addColumn<QSize>("size");

    QTest::newRow("100x50") << QSize(100, 50);
    QTest::newRow("50x100") << QSize(50, 100);
    QTest::newRow("200x200") << QSize(200, 200);
    QTest::newRow("301x120") << QSize(301, 120);
}

void tst_LightButton::roundAndCentred()
{
    QFETCH(QSize, size);

    LightButton lamp;
    lamp.resize(size);
    paintFlat(lamp);
    const QImage image = lamp.grab().toImage();
    QCOMPARE(image.size(), size);

    const QColor outer(255, 0, 0), inner(0, 255, 0), body(0, 0, 255);
    const QVector<QPoint> directions{{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (const QPoint &d : directions) {
        // Outer ring 90..99, inner ring 80..90, body inside 80 (logical units).
        QCOMPARE(probe(image, d.x(), d.y(), 94.5), outer);
        QCOMPARE(probe(image, d.x(), d.y(), 85), inner);
        QCOMPARE(probe(image, d.x(), d.y(), 40), body);
    }
    // Just outside the outer ring along the longer side is the backdrop.
    const QPoint along = size.width() >= size.height() ? QPoint(1, 0) : QPoint(0, 1);
    if (size.width() != size.height()) {
        QCOMPARE(probe(image, along.x(), along.y(), 104), backdrop);
        QCOMPARE(probe(image, -along.x(), -along.y(), 104), backdrop);
    }
    QCOMPARE(probe(image, 0, 0, 0), body);
}

void tst_LightButton::text()
{
    LightButton lamp;
    lamp.resize(200, 200);
    paintFlat(lamp);
    const QColor body(0, 0, 255);
    lamp.setTextColor(QColor(255, 255, 0));

    // No text: every pixel within the body is the body colour.
    QImage image = lamp.grab().toImage();
    for (int y = 25; y < 175; ++y)
        for (int x = 25; x < 175; ++x)
            if (QLineF(x + 0.5, y + 0.5, 100, 100).length() < 78 && image.pixelColor(x, y) != body)
                QFAIL(qPrintable(QString("pixel %1,%2 is not body colour").arg(x).arg(y)));

    // One letter: drawn in the text colour, centred in the lamp.
    lamp.setText("H");
    image = lamp.grab().toImage();
    int left = 200, right = -1, top = 200, bottom = -1;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 200 && c.blue() < 60) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    QVERIFY2(right > left + 10 && bottom > top + 10, "the letter is drawn");
    QVERIFY2(qAbs((left + right) / 2.0 - 100) <= 3, "centred horizontally");
    QVERIFY2(qAbs((top + bottom) / 2.0 - 100) <= 10, "centred vertically");
}

void tst_LightButton::overlay()
{
    LightButton lamp;
    lamp.resize(200, 200);
    paintFlat(lamp);
    const QColor body(0, 0, 255);

    // Without the highlight only rings and body are drawn.
    QImage image = lamp.grab().toImage();
    QCOMPARE(image.pixelColor(100, 50), body);
    QCOMPARE(image.pixelColor(35, 110), body);
    QCOMPARE(image.pixelColor(165, 110), body);

    // The crescent covers the top of the body; turned counter-clockwise its
    // left tip reaches below the centre line while the right one does not.
    lamp.setShowOverlay(true);
    image = lamp.grab().toImage();
    const QColor top = image.pixelColor(100, 50);
    QVERIFY2(top.red() > 40 && top.green() > 40 && top.blue() == 255, "lit top");
    const QColor leftTip = image.pixelColor(35, 110);
    QVERIFY2(leftTip.red() > 15 && leftTip.blue() == 255, "lit left tip");
    QCOMPARE(image.pixelColor(165, 110), body);
    QCOMPARE(image.pixelColor(100, 130), body);
}

void tst_LightButton::overlayColorSurvivesPaint()
{
    LightButton lamp;
    lamp.resize(120, 120);
    const QColor translucent(10, 20, 30, 200);
    lamp.setOverlayColor(translucent);
    lamp.grab();
    lamp.grab();
    QCOMPARE(lamp.getOverlayColor(), translucent);
    QCOMPARE(lamp.getOverlayColor().alpha(), 200);

    lamp.setOverlayColor(Qt::white);
    lamp.grab();
    QCOMPARE(lamp.getOverlayColor(), QColor(Qt::white));
    QCOMPARE(lamp.property("overlayColor").value<QColor>().alpha(), 255);
}

void tst_LightButton::dragRefusedWhenNotMovable()
{
    QWidget parent;
    parent.resize(400, 300);
    auto *lamp = new LightButton(&parent);
    lamp->setGeometry(50, 50, 100, 100);

    send(lamp, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    send(lamp, QEvent::MouseMove, QPoint(40, 30), Qt::LeftButton);
    QCOMPARE(lamp->pos(), QPoint(50, 50));
    QVERIFY(!lamp->testAttribute(Qt::WA_SetCursor));
    send(lamp, QEvent::MouseButtonRelease, QPoint(40, 30), Qt::LeftButton);
    QCOMPARE(lamp->pos(), QPoint(50, 50));
    QVERIFY(!lamp->testAttribute(Qt::WA_SetCursor));
}

void tst_LightButton::dragWithLeftButton()
{
    QWidget parent;
    parent.resize(400, 300);
    auto *lamp = new LightButton(&parent);
    lamp->setGeometry(50, 50, 100, 100);
    lamp->setCanMove(true);

    // A move before any press does nothing.
    send(lamp, QEvent::MouseMove, QPoint(40, 30), Qt::LeftButton);
    QCOMPARE(lamp->pos(), QPoint(50, 50));

    send(lamp, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    QCOMPARE(lamp->cursor().shape(), Qt::OpenHandCursor);
    send(lamp, QEvent::MouseMove, QPoint(30, 25), Qt::LeftButton);
    QCOMPARE(lamp->pos(), QPoint(70, 65));
    // The local position follows the widget: the same point again means
    // the mouse went on by the same offset.
    send(lamp, QEvent::MouseMove, QPoint(5, 12), Qt::LeftButton);
    QCOMPARE(lamp->pos(), QPoint(65, 67));

    send(lamp, QEvent::MouseButtonRelease, QPoint(5, 12), Qt::LeftButton);
    QCOMPARE(lamp->cursor().shape(), Qt::ArrowCursor);
    send(lamp, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton);
    QCOMPARE(lamp->pos(), QPoint(65, 67));
}

void tst_LightButton::rightButtonShowsHandOnly()
{
    QWidget parent;
    parent.resize(400, 300);
    auto *lamp = new LightButton(&parent);
    lamp->setGeometry(50, 50, 100, 100);
    lamp->setCanMove(true);

    send(lamp, QEvent::MouseButtonPress, QPoint(10, 10), Qt::RightButton);
    QCOMPARE(lamp->cursor().shape(), Qt::OpenHandCursor);
    send(lamp, QEvent::MouseMove, QPoint(40, 30), Qt::RightButton);
    QCOMPARE(lamp->pos(), QPoint(50, 50));
    // No drag was started, so the release leaves the cursor as it is.
    send(lamp, QEvent::MouseButtonRelease, QPoint(40, 30), Qt::RightButton);
    QCOMPARE(lamp->cursor().shape(), Qt::OpenHandCursor);
    QCOMPARE(lamp->pos(), QPoint(50, 50));
}

void tst_LightButton::dragStateIsPerLamp()
{
    QWidget parent;
    parent.resize(400, 300);
    auto *first = new LightButton(&parent);
    first->setGeometry(0, 0, 100, 100);
    first->setCanMove(true);
    auto *second = new LightButton(&parent);
    second->setGeometry(200, 100, 100, 100);
    second->setCanMove(true);

    send(first, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    send(second, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton);
    QCOMPARE(second->pos(), QPoint(200, 100));
    send(first, QEvent::MouseMove, QPoint(20, 20), Qt::LeftButton);
    QCOMPARE(first->pos(), QPoint(10, 10));
}

QTEST_MAIN(tst_LightButton)
#include "tst_lightbutton.moc"
