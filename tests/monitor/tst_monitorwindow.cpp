// The monitor's window end to end against the emulated device, and under replug,
// pause and close storms. Each case must end with every thread it started gone.

#include "testsupport.h"
#include <emulator/emulateddevice.h>
#include <gauges/progressbarcolor.h>
#include <hidlink/hidlink.h>
#include <monitor/mainwindow.h>
#include <monitor/nodevicecover.h>
#include <monitor/reportcoalescer.h>
#include <monitor/sliderruler.h>
#include <monitor/usbthread.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>
#include <thread>

using emulator::EmulatedDevice;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Values = std::array<std::uint16_t, 4>;

const QString Lit = QStringLiteral("border-image: url(://LED1);");
const QString Unlit = QStringLiteral("border-image: url(://LED2);");

struct Rig
{
    hidplatform::EmulatedBackend backend;
    std::unique_ptr<EmulatedDevice> device;
    std::unique_ptr<monitor::MainWindow> window;

    explicit Rig(bool present, emulator::DeviceConfig config = {}, bool withWindow = true)
    {
        device = std::make_unique<EmulatedDevice>(backend, config);
        if (present)
            device->attach();
        if (withWindow)
            window = std::make_unique<monitor::MainWindow>(backend);
    }
    ~Rig()
    {
        window.reset();
        device.reset();
    }
    bool show()
    {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        window->onInit();                  // as the program does once the window has its size
        QCoreApplication::processEvents(); // the grips are laid out by painting
        return true;
    }
    template <typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    SliderRuler *ruler() const { return child<SliderRuler>("Ruler"); }
    double bar() const { return child<ProgressBarColor>("Bar")->getValue(); }
    QStringList lamps() const
    {
        return {child<QWidget>("LED5")->styleSheet(), child<QWidget>("LED6")->styleSheet()};
    }
    monitor::USBThread *reader() const { return window->findChild<monitor::USBThread *>(); }
    int openReadHandles() const { return backend.openReadHandles(device.get()); }
    std::vector<Bytes> received() const { return device->featureReports(); }
    QList<double> rulerValues() const
    {
        QList<double> v;
        for (int i = 0; i < 4; ++i)
            v << ruler()->getValue(i);
        return v;
    }
};

emulator::DeviceConfig streaming(int statusRateHz, int valueRateHz = 0)
{
    emulator::DeviceConfig config;
    config.statusRateHz = statusRateHz;
    config.valueRateHz = valueRateHz;
    return config;
}

Bytes command(std::initializer_list<std::uint8_t> head)
{
    Bytes b(head);
    b.resize(64, 0);
    return b;
}

struct EventCounter : QObject
{
    const QEvent::Type type;
    int count = 0;
    explicit EventCounter(QEvent::Type type) : type(type) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == type;
        return false;
    }
};

// Log lines as "category: text"; the reader thread writes them too.
QMutex logMutex;
QStringList logLines;
QtMessageHandler previousHandler = nullptr;
void keepLogLines(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    const QMutexLocker lock(&logMutex);
    logLines << QString("%1: %2").arg(QLatin1String(context.category), message);
}
QStringList loggedIn(const QString &category)
{
    const QMutexLocker lock(&logMutex);
    return logLines.filter(QRegularExpression("^" + QRegularExpression::escape(category) + ": "));
}

QByteArray valueReport(const Values &values)
{
    const Bytes b = EmulatedDevice::valueReport(values, 1250);
    return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size()));
}

// Counts what a reader hands over, on the GUI thread as the window receives it.
struct Receiver : QObject
{
    int statuses = 0;
    explicit Receiver(monitor::USBThread *reader)
    {
        connect(reader, &monitor::USBThread::ReportDataBuffer, this, [this] { ++statuses; });
    }
};

} // namespace

class TestMonitorWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { QTRY_COMPARE(threadsInProcess(), baselineThreads); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void lampsAndReportsWithoutDeviceThenPlugIn();
    void reportFloodsFoldPerFrame();
    void startUpDragTypeAndClose();
    void typedValueKeptWhileReportsArrive();
    void dragHeldAgainstReports();

    void refusedWriteUntilReplugStorm();
    void pauseResumeStorm();
    void closingDuringReports_data();
    void closingDuringReports();

private:
    int baselineThreads = 0;
};

void TestMonitorWindow::initTestCase()
{
    previousHandler = qInstallMessageHandler(keepLogLines);
    QVERIFY(threadsInProcess() > 0);
    {
        // A first window brings up what Qt keeps for the rest of the run.
        Rig warmUp(false);
        QVERIFY(warmUp.show());
    }
    QCoreApplication::processEvents();
    baselineThreads = threadsInProcess();
}

void TestMonitorWindow::lampsAndReportsWithoutDeviceThenPlugIn()
{
    Rig rig(false);
    QVERIFY(rig.show());
    QWidget *lamp = rig.child<QWidget>("LED5");
    const QColor unlit = lamp->grab().toImage().pixelColor(17, 17);
    QVERIFY2(unlit.red() == unlit.blue() && unlit.green() == unlit.red() && unlit.red() > 60,
             qPrintable(unlit.name()));

    // A style sheet set again reloads its picture: a fifth of a core at 1000 reports/s.
    EventCounter changes(QEvent::StyleChange);
    lamp->installEventFilter(&changes);
    QBitArray bits(2);
    bits.setBit(0);
    for (int i = 0; i < 3; ++i)
        rig.window->onDealDataLED(bits);
    QCOMPARE(changes.count, 1);
    const QColor lit = lamp->grab().toImage().pixelColor(17, 17);
    QVERIFY2(lit.blue() > 200 && lit.blue() - lit.red() > 80, qPrintable(lit.name()));
    rig.window->onDealDataLED(QBitArray(2));
    QCOMPARE(changes.count, 2);
    QCOMPARE(rig.lamps(), (QStringList{Unlit, Unlit}));

    // Without a device the gauges are dimmed under a "No device" until one arrives.
    auto *bar = rig.child<ProgressBarColor>("Bar");
    auto *cover = bar->findChild<NoDeviceCover *>();
    QVERIFY(cover && cover->isVisible() && rig.ruler()->findChild<NoDeviceCover *>()->isVisible());
    QCOMPARE(cover->text(), QString("No device"));
    const auto barLightness = [&rig, bar] {
        const QImage shot =
            rig.window->grab(QRect(bar->mapTo(rig.window.get(), QPoint()), bar->size())).toImage();
        qint64 sum = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                sum += shot.pixelColor(x, y).lightness();
        return sum / (shot.width() * shot.height());
    };
    const qint64 dimmed = barLightness();
    QVERIFY(!rig.reader());
    const unsigned char query[11] = {0x80, 0x03, 0x01};
    QCOMPARE(rig.window->SendDataToUsb(query), -1);
    rig.window->onSendData();

    rig.device->plug();
    QTRY_VERIFY(rig.reader() && rig.reader()->isRunning());
    QTRY_COMPARE(rig.openReadHandles(), 1);
    QVERIFY(!cover->isVisible());
    QVERIFY2(barLightness() > dimmed + 20,
             qPrintable(QString("%1 %2").arg(barLightness()).arg(dimmed)));
    rig.device->sendReport(EmulatedDevice::statusReport(1500, true, false));
    QTRY_COMPARE(rig.bar(), 1500.0);
    QTRY_COMPARE(rig.lamps(), (QStringList{Lit, Unlit}));
    // The device traffic is logged only when asked for.
    QCOMPARE(loggedIn("rivet.reports"), QStringList());
    QLoggingCategory::setFilterRules(QStringLiteral("rivet.reports.debug=true"));
    rig.device->sendReport(EmulatedDevice::statusReport(1500, true, false));
    QTRY_COMPARE(loggedIn("rivet.reports"),
                 QStringList("rivet.reports: LedBitArray>>>>>>> QBitArray(10)"));
    QLoggingCategory::setFilterRules(QString());
    // 0x1234 is above the bar's range: the bar stays, the lamps follow.
    rig.device->sendReport(EmulatedDevice::statusReport(0x1234, false, true));
    QTRY_COMPARE(rig.lamps(), (QStringList{Unlit, Lit}));
    QCOMPARE(rig.bar(), 1500.0);
    rig.device->sendReport(EmulatedDevice::valueReport({5, 6, 7, 8}, 1250));
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{5, 6, 7, 8}));

    // Another class of 0x80 report is ignored; values that would pass a neighbour
    // become handle 1's. The status report behind them shows they were dealt with.
    Bytes other = EmulatedDevice::valueReport({1, 2, 3, 4}, 1250);
    other[1] = 0x07;
    rig.device->sendReport(other);
    rig.device->sendReport(EmulatedDevice::valueReport({4095, 4095, 0, 100}, 1250));
    rig.device->sendReport(EmulatedDevice::statusReport(77, false, false));
    QTRY_COMPARE(rig.bar(), 77.0);
    QCOMPARE(rig.rulerValues(), (QList<double>{0, 6, 7, 100}));
    QVERIFY(rig.received().empty()); // not without the device, nor on arrival
    rig.device->unplug();
    QTRY_VERIFY(cover->isVisible());
    QLocale::setDefault(QLocale::Chinese);
    QCOMPARE(NoDeviceCover(bar, true).text(), QString("未连接设备"));
    QLocale::setDefault(QLocale::system());
}

void TestMonitorWindow::reportFloodsFoldPerFrame()
{
    ReportCoalescer coalescer;
    QSignalSpy status(&coalescer, &ReportCoalescer::statusReady);
    QSignalSpy lamps(&coalescer, &ReportCoalescer::lampsReady);
    QSignalSpy values(&coalescer, &ReportCoalescer::valuesReady);

    coalescer.takeStatus(0); // idle: through at once, and a frame begins
    QCOMPARE(status.count(), 1);
    for (int i = 1; i <= 500; ++i) {
        coalescer.takeStatus(i);
        QBitArray bits(2);
        bits.setBit(0, i % 2);
        coalescer.takeLamps(bits);
        coalescer.takeValues(QByteArray(1, char(i)));
    }
    QCOMPARE(status.count() + lamps.count() + values.count(), 1);

    // When the frame is over: every status and value report in order, the newest lamps.
    QTRY_COMPARE(status.count(), 501);
    QCOMPARE(values.count(), 500);
    for (int i = 1; i <= 500; ++i) {
        QCOMPARE(status.at(i).at(0).toInt(), i);
        QCOMPARE(values.at(i - 1).at(0).toByteArray(), QByteArray(1, char(i)));
    }
    QCOMPARE(lamps.count(), 1);
    QCOMPARE(lamps.at(0).at(0).value<QBitArray>().testBit(0), false);
    // A frame with nothing new ends the burst: the next report goes through at once.
    QTest::qWait(3 * ReportCoalescer::FrameMs);
    QCOMPARE(status.count(), 501);
    coalescer.takeValues("b");
    QCOMPARE(values.count(), 501);

    // Whether the ruler moves a handle depends on the values before: one frame of
    // reports ends as the same reports one by one, and is painted once.
    Rig rig(false);
    QVERIFY(rig.show());
    SliderRuler *ruler = rig.ruler();
    const auto picture = [ruler] {
        QStringList p;
        for (int i = 0; i < 4; ++i)
            p << QString("%1 at %2 reads %3")
                     .arg(ruler->getValue(i))
                     .arg(ruler->handleX(i))
                     .arg(ruler->findChild<QLineEdit *>(QString("lineEdit%1").arg(QChar('A' + i)))
                              ->text());
        return p;
    };
    const QByteArray a = valueReport({0, 1024, 3072, 4095});
    const QByteArray b = valueReport({2000, 2500, 3072, 4095});
    for (const QByteArray &report : {a, b, b})
        rig.window->onDealData800a(report);
    const QStringList oneByOne = picture();
    QCOMPARE(oneByOne.first(), QString("2000 at %1 reads 2000").arg(ruler->handleX(0)));

    rig.window->onInit();
    QCoreApplication::processEvents();
    ReportCoalescer frame;
    connect(&frame, &ReportCoalescer::valuesReady, rig.window.get(),
            &monitor::MainWindow::onDealData800a);
    EventCounter paints(QEvent::Paint);
    ruler->installEventFilter(&paints);
    frame.takeLamps(QBitArray(2)); // opens the frame
    for (const QByteArray &report : {a, b, b})
        frame.takeValues(report);
    QTRY_COMPARE(picture(), oneByOne);
    QTRY_VERIFY(paints.count > 0);
    QCoreApplication::processEvents();
    QCOMPARE(paints.count, 1);
}

void TestMonitorWindow::startUpDragTypeAndClose()
{
    emulator::DeviceConfig config;
    config.values = {100, 2000, 3000, 4000};
    Rig rig(true, config);
    QCOMPARE(rig.received(), (std::vector<Bytes>{command({0x80, 0x03, 0x01})}));
    // The reader listened from its start: the device's answer sets the handles.
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{100, 2000, 3000, 4000}));
    // Shown, the start values are placed again; setting handles sends nothing.
    QVERIFY(rig.show());
    QCOMPARE(rig.rulerValues(), (QList<double>{0, 1024, 3072, 4095}));

    SliderRuler *ruler = rig.ruler();
    const int h = ruler->height();
    const QPoint grip(qRound(ruler->handleX(1)),
                      int(h * 0.5 - (h / 5) * 0.25 + h / 7 + (h / 6) / 2.0));
    const QPoint target = grip + QPoint(60, 0);
    const int v2 = int(4096.0 * (target.x() - 13) / (ruler->width() - 26));
    QTest::mousePress(ruler, Qt::LeftButton, Qt::NoModifier, grip);
    QMouseEvent move(QEvent::MouseMove, target, ruler->mapToGlobal(target), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(ruler, &move);
    QCOMPARE(rig.received().size(), std::size_t(1)); // nothing until the release
    QTest::mouseRelease(ruler, Qt::LeftButton, Qt::NoModifier, target);
    QCOMPARE(rig.received().size(), std::size_t(2));
    QCOMPARE(rig.received()[1], command({0x80, 0x03, 0x02, 0, 0, quint8(v2 & 0xFF), quint8(v2 >> 8),
                                         0x00, 0x0C, 0xFF, 0x0F}));
    QCOMPARE(rig.device->values(), (Values{0, quint16(v2), 3072, 4095}));
    // The device echoes what it stored; the ruler keeps showing it.
    QTRY_COMPARE(ruler->getValue(1), double(v2));

    // What the editor shows after Return, and whether it marks the number refused.
    const auto type = [&rig](const char *name, const char *text) {
        QLineEdit *edit = rig.child<QLineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        return edit->text() + (edit->property("refused").toBool() ? " refused" : "");
    };
    QCOMPARE(type("lineEditC", "2222"), QString("2222"));
    QCOMPARE(rig.received().size(), std::size_t(3));
    QCOMPARE(rig.received()[2], command({0x80, 0x03, 0x02, 0, 0, quint8(v2 & 0xFF), quint8(v2 >> 8),
                                         0xAE, 0x08, 0xFF, 0x0F}));
    // Digits only. Out of scale: sent again unchanged, the number kept in a red frame
    // until it is changed. Nothing typed: nothing sent.
    QCOMPARE(type("lineEditA", "9999"), QString("9999 refused"));
    QCOMPARE(type("lineEditB", "50x00"), QString("5000 refused"));
    QCOMPARE(type("lineEditC", "abc"), QString());
    QCOMPARE(rig.received().size(), std::size_t(5));
    QCOMPARE(rig.received()[4], rig.received()[2]);
    QLineEdit *editA = rig.child<QLineEdit>("lineEditA");
    const QImage framed = editA->grab().toImage();
    int red = 0;
    for (int y = 0; y < framed.height(); ++y)
        for (int x = 0; x < framed.width(); ++x)
            red += framed.pixelColor(x, y).red() > 200 && framed.pixelColor(x, y).green() < 60;
    QVERIFY2(red > 20, qPrintable(QString::number(red)));
    QTest::keyClick(editA, Qt::Key_Backspace);
    QVERIFY(!editA->property("refused").toBool());
    QLineEdit *editB = rig.child<QLineEdit>("lineEditB");
    QTest::keyClick(editB, Qt::Key_Escape); // the handle's value, no longer framed
    QCOMPARE(editB->text() + (editB->property("refused").toBool() ? " refused" : ""),
             QString::number(v2));
    QCOMPARE(rig.device->values(), (Values{0, quint16(v2), 2222, 4095}));

    auto *close = rig.child<QToolButton>("toolButton");
    QCOMPARE(close->styleSheet(), QString("border-image: url(:/CLOSE1);"));
    QVERIFY(!QImage(":/CLOSE1").isNull());
    QTimer::singleShot(0, close, [close] {
        QTest::mouseClick(close, Qt::LeftButton, Qt::NoModifier, close->rect().center());
    });
    QTimer stuck; // a close that does not quit fails instead of hanging
    connect(&stuck, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    stuck.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    stuck.stop();

    QVERIFY(rig.reader()->isRunning()); // quitting alone leaves the reader to the window
}

void TestMonitorWindow::typedValueKeptWhileReportsArrive()
{
    Rig rig(true);
    QVERIFY(rig.show());
    QApplication::setActiveWindow(rig.window.get());
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    SliderRuler *ruler = rig.ruler();
    const std::size_t sent = rig.received().size();
    // Reports arrive between the keystrokes and move the handles.
    int reports = 0;
    const auto typeWithReports = [&](QLineEdit *edit, const QString &text) {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        for (QChar c : text) {
            QTest::keyClick(edit, c.toLatin1());
            ++reports;
            rig.device->sendReport(EmulatedDevice::valueReport(
                {0, quint16(1100 + reports), quint16(3000 + reports), 4000}, 1250));
            QTRY_COMPARE(ruler->getValue(1), 1100.0 + reports);
        }
        QCOMPARE(edit->text(), text);
    };

    QLineEdit *editB = rig.child<QLineEdit>("lineEditB");
    typeWithReports(editB, "2000");
    QCOMPARE(editB->x(), int(ruler->handleX(1))); // it rides above the moved handle
    QTest::keyClick(editB, Qt::Key_Return);       // commits what was typed
    QCOMPARE(rig.received().size(), sent + 1);
    QCOMPARE(rig.received().back(),
             command({0x80, 0x03, 0x02, 0, 0, 0xD0, 0x07, quint8(3000 + reports),
                      quint8((3000 + reports) >> 8), 0xA0, 0x0F}));

    // Escape, or leaving the editor, gives the handle's value back; nothing is sent.
    QLineEdit *editC = rig.child<QLineEdit>("lineEditC");
    typeWithReports(editC, "25");
    QTest::keyClick(editC, Qt::Key_Escape);
    QCOMPARE(editC->text(), QString::number(3000 + reports));
    // Another program in front (a calculator to look a number up): what was typed
    // stays through reports and is there again when the monitor is back in front.
    QLineEdit *editD = rig.child<QLineEdit>("lineEditD");
    typeWithReports(editD, "9");
    QApplication::setActiveWindow(nullptr);
    QVERIFY(!editD->hasFocus());
    rig.device->sendReport(EmulatedDevice::valueReport({0, 1100, 3000, 3990}, 1250));
    QTRY_COMPARE(ruler->getValue(3), 3990.0);
    QCOMPARE(editD->text(), QString("9"));
    QApplication::setActiveWindow(rig.window.get());
    QTRY_VERIFY(editD->hasFocus());
    QCOMPARE(editD->text(), QString("9"));
    rig.child<QLineEdit>("lineEditA")->setFocus();
    QCOMPARE(editD->text(), QString("3990"));
    QCOMPARE(rig.received().size(), sent + 1);

    // At the ends of the scale the editors stay wholly inside the ruler, above their handles.
    ruler->setValue(0.0, 1);
    ruler->setValue(4096.0, 4);
    for (int i : {0, 3}) {
        const QRect edit = rig.child<QLineEdit>(i == 0 ? "lineEditA" : "lineEditD")->geometry();
        QVERIFY2(ruler->rect().contains(edit), qPrintable(QString::number(edit.right())));
        QVERIFY(edit.left() <= ruler->handleX(i) && ruler->handleX(i) <= edit.right());
    }
}

void TestMonitorWindow::dragHeldAgainstReports()
{
    Rig rig(true, streaming(0, 4));
    QVERIFY(rig.show());
    SliderRuler *ruler = rig.ruler();
    int reports = 0;
    connect(rig.reader(), &monitor::USBThread::ReportDataBuffer800a, ruler,
            [&reports] { ++reports; });
    const int h = ruler->height();
    const QPoint grip(qRound(ruler->handleX(1)),
                      int(h * 0.5 - (h / 5) * 0.25 + h / 7 + (h / 6) / 2.0));
    QTest::mousePress(ruler, Qt::LeftButton, Qt::NoModifier, grip);
    // A second's drag at an ordinary pace, then a pause on the spot: reports still
    // carrying the old value arrive meanwhile.
    QPoint at = grip;
    for (int i = 0; i < 10; ++i) {
        at += QPoint(8, 0);
        QMouseEvent move(QEvent::MouseMove, at, ruler->mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(ruler, &move);
        QTest::qWait(100);
    }
    const int duringDrag = reports;
    QTRY_VERIFY(reports >= duringDrag + 2);
    QVERIFY(reports >= 4);
    const double dragged = ruler->getValue(1);
    QVERIFY(dragged > 1100);
    QTest::mouseRelease(ruler, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(rig.device->values()[1], quint16(dragged));
    // A report sent before the write arrived must not undo it; the next ones confirm it.
    rig.window->onDealData800a(valueReport({0, 1024, 3072, 4095}));
    QCOMPARE(ruler->getValue(1), dragged);
    const int released = reports;
    QTRY_VERIFY(reports >= released + 2);
    QCOMPARE(ruler->getValue(1), double(quint16(dragged))); // as the device stored it
    QVERIFY(qAbs(ruler->handleX(1) - at.x()) < 1);
}

void TestMonitorWindow::refusedWriteUntilReplugStorm()
{
    Rig rig(true, streaming(2000));
    QVERIFY(rig.show());
    monitor::USBThread *reader = rig.reader();
    Receiver received(reader);
    QTRY_VERIFY(received.statuses > 0);
    const unsigned char query[11] = {0x80, 0x03, 0x01};
    QCOMPARE(rig.window->SendDataToUsb(query), 1);
    rig.device->refuseFeatures(true);
    QCOMPARE(rig.window->SendDataToUsb(query), 0);
    rig.device->refuseFeatures(false);
    QCOMPARE(rig.window->SendDataToUsb(query), -1);
    rig.window->onSendData();
    QCOMPARE(rig.received().size(), std::size_t(3)); // nothing after the refused one

    QVERIFY(replugStorm(*rig.device, [&] { return received.statuses; }));
    // Still the one reader, reading through the one handle left open.
    QCOMPARE(rig.window->findChildren<monitor::USBThread *>(), QList<monitor::USBThread *>{reader});
    QTRY_COMPARE(rig.openReadHandles(), 1);
    const double bar = rig.bar();
    QTRY_VERIFY(rig.bar() != bar);
    rig.device->sendReport(EmulatedDevice::valueReport({11, 22, 33, 44}, 1250));
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{11, 22, 33, 44}));
    // Reopening ends the refusal: values go out through the newest write handle.
    rig.window->onSendData();
    QCOMPARE(rig.received().back(), command({0x80, 0x03, 0x02, 11, 0, 22, 0, 33, 0, 44, 0}));
}

void TestMonitorWindow::pauseResumeStorm()
{
    Rig rig(true, streaming(2000), false);
    HidLink link(rig.backend, 0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    auto reader =
        std::make_unique<monitor::USBThread>(rig.backend, link.readHandle(), link.deviceFound());
    Receiver received(reader.get());
    reader->start();
    QTRY_VERIFY(received.statuses > 0);

    for (int i = 0; i < 1000; ++i) {
        reader->StopOrStart(i % 2 == 1);
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    // Left paused by the last round: nothing more is read.
    QVERIFY(reader->isRunning());
    reader->StopOrStart(false);
    QTest::qWait(50);
    QCoreApplication::processEvents();
    const int paused = received.statuses;
    QTest::qWait(50);
    QCOMPARE(received.statuses, paused);
    reader->StopOrStart(true);
    QTRY_VERIFY(received.statuses > paused);

    reader.reset(); // joins while reports stream in
}

void TestMonitorWindow::closingDuringReports_data()
{
    QTest::addColumn<int>("statusRateHz");
    QTest::addColumn<int>("valueRateHz");
    QTest::addColumn<bool>("unplugged");
    QTest::newRow("silent device") << 0 << 0 << false;
    QTest::newRow("status and value streams") << 2000 << 2000 << false;
    QTest::newRow("paused by a removal") << 2000 << 0 << true;
}

void TestMonitorWindow::closingDuringReports()
{
    QFETCH(int, statusRateHz);
    QFETCH(int, valueRateHz);
    QFETCH(bool, unplugged);

    Rig rig(true, streaming(statusRateHz, valueRateHz));
    QPointer<monitor::USBThread> reader = rig.reader();
    QTRY_VERIFY(reader->isRunning());
    if (unplugged) {
        rig.device->unplug();
        QTest::qWait(20); // the removal reaches the window: the reader is paused
    }
    // The event loop does not run: decoded reports pile up as queued signals, and
    // the reader is in its read or emitting the next one when the window goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    rig.window.reset();
    QVERIFY(reader.isNull());
    QCOMPARE(rig.openReadHandles(), 0);
    QCoreApplication::processEvents(); // the queued calls to the window went with it
}

QTEST_MAIN(TestMonitorWindow)
#include "tst_monitorwindow.moc"
