// The monitor at the display's scale factor: CTest runs this program at 1, 1.5 and 2
// (QT_SCALE_FACTOR, read when the application object is made, as a Windows display
// setting of 100 %, 150 % or 200 % would be). The ruler's painting is compared with
// the same widget painted at one pixel per unit: its grips and labels scale together,
// and nothing of it is cut off or hidden.

#include <appinfo/displayscaling.h>
#include <emulator/emulatedbackend.h>
#include <emulator/emulateddevice.h>
#include <monitor/mainwindow.h>
#include <monitor/sliderruler.h>

#include <QtTest>

namespace {

double scaleFactor()
{
    bool ok = false;
    const double f = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? f : 1.0;
}

bool near(QRgb c, const QColor &target)
{
    return qAbs(qRed(c) - target.red()) + qAbs(qGreen(c) - target.green()) +
               qAbs(qBlue(c) - target.blue()) <
           60;
}

// The widget as the display shows it, and painted at one pixel per unit.
struct Paintings
{
    QImage scaled;
    QImage plain;
    explicit Paintings(QWidget *widget) : scaled(widget->grab().toImage())
    {
        QPixmap one(widget->size());
        one.setDevicePixelRatio(1);
        widget->render(&one);
        plain = one.toImage();
    }
};

// First and last column of row `y` in `color`, or (-1, -1).
QPair<int, int> span(const QImage &img, int y, const QColor &color)
{
    QPair<int, int> s(-1, -1);
    for (int x = 0; x < img.width(); ++x) {
        if (near(img.pixel(x, y), color)) {
            s.first = s.first < 0 ? x : s.first;
            s.second = x;
        }
    }
    return s;
}

// Whether a span painted at factor f lies where the unscaled one does, times f; and
// both for a failure's message.
bool scaledLike(QPair<int, int> scaled, QPair<int, int> plain, double f)
{
    return plain.second > plain.first && qAbs(scaled.first - plain.first * f) <= 2 * f &&
           qAbs(scaled.second - plain.second * f) <= 2 * f;
}
QByteArray spans(QPair<int, int> scaled, QPair<int, int> plain)
{
    return QString("%1..%2, unscaled %3..%4")
        .arg(scaled.first)
        .arg(scaled.second)
        .arg(plain.first)
        .arg(plain.second)
        .toUtf8();
}

// The scale's white or grey (ticks, labels), not a handle's colour.
bool bright(QRgb c)
{
    return qGray(c) > 90 &&
           qMax(qRed(c), qMax(qGreen(c), qBlue(c))) - qMin(qRed(c), qMin(qGreen(c), qBlue(c))) < 60;
}

// The rightmost bright shape below row `top` and left of column `right` (the last
// label): its first and last column, glyphs closer than `gap` counted as one.
QPair<int, int> lastLabel(const QImage &img, int top, int right, int gap)
{
    QVector<bool> lit(right);
    for (int x = 0; x < right; ++x)
        for (int y = top; y < img.height() && !lit[x]; ++y)
            lit[x] = bright(img.pixel(x, y));
    int last = right - 1;
    while (last >= 0 && !lit[last])
        --last;
    int first = last;
    for (int x = last; x >= 0; --x) {
        if (lit[x])
            first = x;
        else if (first - x > gap)
            break;
    }
    return {first, last};
}

} // namespace

class TestDisplayScaling : public QObject
{
    Q_OBJECT

private slots:
    void monitorRuler();

private:
    hidplatform::EmulatedBackend backend;
};

void TestDisplayScaling::monitorRuler()
{
    emulator::EmulatedDevice device(backend, {});
    device.attach();
    monitor::MainWindow window(backend);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.onInit();
    // The factor asked for, times the screen's own (a fraction passed through).
    const double f = window.devicePixelRatioF();
    QVERIFY2(f >= scaleFactor(), qPrintable(QString::number(f)));

    auto *ruler = window.findChild<SliderRuler *>("Ruler");
    // The handles at the ends of the scale, on the first and the last label.
    ruler->setValue(4096.0, 4);
    ruler->setValue(0.0, 1);
    const Paintings p(ruler);
    QCOMPARE(p.scaled.size(), ruler->size() * f);

    // Each grip where its handle is, in the display's pixels.
    const int h = ruler->height();
    const double gripTop = h * 0.5 - (h / 5) * 0.25 + h / 7;
    const double gripBottom = gripTop + h / 6;
    for (int i = 0; i < SliderRuler::HandleCount; ++i) {
        const QColor c = SliderRuler::handleColor(i);
        const auto grip = span(p.scaled, int((gripTop + h / 12.0) * f), c);
        const auto plainGrip = span(p.plain, int(gripTop + h / 12.0), c);
        QVERIFY2(scaledLike(grip, plainGrip, f), spans(grip, plainGrip));
    }
    // Below the grips only the labels, none under a handle; the last one ("4096")
    // wholly inside, as wide as unscaled. A fractional factor leaves the image's last
    // column partly outside the widget.
    for (int y = int(gripBottom * f) + 1; y < p.scaled.height(); ++y)
        for (int i = 0; i < SliderRuler::HandleCount; ++i)
            QCOMPARE(span(p.scaled, y, SliderRuler::handleColor(i)).first, -1);
    const int right = int(ruler->width() * f);
    const auto label = lastLabel(p.scaled, int(gripBottom * f) + 1, right, int(3 * f));
    const auto plainLabel = lastLabel(p.plain, int(gripBottom) + 1, ruler->width(), 3);
    QVERIFY2(plainLabel.second < ruler->width() - 1 && label.second < right - 1,
             spans(label, plainLabel));
    QVERIFY2(plainLabel.second - plainLabel.first > 10 && scaledLike(label, plainLabel, f),
             spans(label, plainLabel));
}

int main(int argc, char *argv[])
{
    appinfo::enableDisplayScaling();
    QApplication app(argc, argv);
    TestDisplayScaling test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_displayscaling.moc"
