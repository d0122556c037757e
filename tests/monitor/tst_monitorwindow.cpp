// The monitor's window end to end against the emulated device: start-up, arrival
// and removal, reports in, values out, dragging and closing.

#include "emulateddevice.h"
#include "mainwindow.h"
#include "progressbarcolor.h"
#include "sliderruler.h"
#include "usbthread.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Values = std::array<std::uint16_t, 4>;

const QString Lit = QStringLiteral("border-image: url(://LED1);");
const QString Unlit = QStringLiteral("border-image: url(://LED2);");

// Debug lines written while one is alive (the reader thread writes some too).
struct DebugLines
{
    static QMutex mutex;
    static QStringList *lines;
    QStringList captured;
    QtMessageHandler previous;
    DebugLines()
    {
        QMutexLocker locker(&mutex);
        lines = &captured;
        previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &message) {
                QMutexLocker locker(&mutex);
                if (lines)
                    lines->append(message);
            });
    }
    ~DebugLines()
    {
        qInstallMessageHandler(previous);
        QMutexLocker locker(&mutex);
        lines = nullptr;
    }
    int count(const QString &start) const
    {
        QMutexLocker locker(&mutex);
        int n = 0;
        for (const QString &line : captured)
            n += line.startsWith(start) ? 1 : 0;
        return n;
    }
    QString last() const
    {
        QMutexLocker locker(&mutex);
        return captured.isEmpty() ? QString() : captured.last();
    }
};
QMutex DebugLines::mutex;
QStringList *DebugLines::lines = nullptr;

// One emulated device on its own backend, and the window over it.
struct Rig
{
    hidplatform::EmulatedBackend backend;
    std::unique_ptr<emulator::EmulatedDevice> device;
    std::unique_ptr<MainWindow> window;

    explicit Rig(bool present, emulator::DeviceConfig config = emulator::DeviceConfig())
    {
        hidplatform::setBackend(&backend);
        device = std::make_unique<emulator::EmulatedDevice>(backend, config);
        if (present)
            device->attach();
        window = std::make_unique<MainWindow>();
    }
    ~Rig()
    {
        window.reset();
        device.reset();
        hidplatform::setBackend(nullptr);
    }
    bool show()
    {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        window->onInit(); // as the program does once the window has its size
        // Painted, as a user sees it: the grips are laid out by painting.
        QCoreApplication::processEvents();
        return true;
    }
    template <typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    SliderRuler *ruler() const { return child<SliderRuler>("Ruler"); }
    ProgressBarColor *bar() const { return child<ProgressBarColor>("Bar"); }
    QWidget *lamp(const char *name) const { return child<QWidget>(name); }
    monitor::USBThread *reader() const { return window->findChild<monitor::USBThread *>(); }
    std::vector<Bytes> received() const { return device->featureReports(); }
    QList<double> rulerValues() const
    {
        QList<double> v;
        for (int i = 0; i < 4; ++i)
            v << ruler()->getValue(i);
        return v;
    }
    // Centre of a handle's grip, as the ruler lays it out.
    QPoint grip(int index) const
    {
        const int h = ruler()->height();
        const double gripTop = h * 0.5 - (h / 5) * 0.25 + h / 7;
        return QPoint(qRound(ruler()->handleX(index)), int(gripTop + (h / 6) / 2.0));
    }
};

Bytes command(std::initializer_list<std::uint8_t> head, std::size_t length)
{
    Bytes b(head);
    b.resize(length, 0);
    return b;
}

void sendMouse(QWidget *widget, QEvent::Type type, Qt::MouseButton button, QPoint pos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestMonitorWindow : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void startUpSendsOnlyTheVersionQuery();
    void startValuesSendNothing();
    void startWithoutDeviceThenPlugIn();
    void unplugAndReplug();
    void otherDevicesAreIgnored_data();
    void otherDevicesAreIgnored();
    void unchangedLampsAreNotRestyled();
    void statusReports_data();
    void statusReports();
    void valueReports_data();
    void valueReports();
    void dragHandleWritesValues();
    void typedValueWritesValues();
    void sendingWithoutDevice();
    void refusedWriteBlocksLaterSends();
    void windowDrag_data();
    void windowDrag();
    void closeButtonQuitsAndReaderIsJoined();
};

void TestMonitorWindow::form()
{
    Rig rig(false);
    MainWindow *w = rig.window.get();
    QCOMPARE(w->objectName(), QString("MainWindow"));
    QCOMPARE(w->size(), QSize(938, 149));
    QVERIFY(w->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w->testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(w->centralWidget()->styleSheet().contains("border-radius:15px;"));
    QCOMPARE(rig.lamp("LED5")->minimumSize(), QSize(35, 35));
    QCOMPARE(rig.lamp("LED6")->maximumSize(), QSize(36, 36));
    QCOMPARE(rig.lamp("LED5")->styleSheet(), QString("border-image:url(://LED2);"));
    QCOMPARE(rig.child<QToolButton>("toolButton")->styleSheet(),
             QString("border-image: url(:/CLOSE1);"));
    QCOMPARE(rig.ruler()->minimumHeight(), 55);
    QCOMPARE(rig.bar()->maximumHeight(), 30);
    QCOMPARE(rig.bar()->labelLayout(), ProgressBarLayout::CentredValue);
    QCOMPARE(rig.bar()->getValue(), 4096.0);
    for (const char *image : {":/LED1", ":/LED2", ":/CLOSE1", ":/LedBlue.png", ":/close.png",
                              ":/LEDGray.png", ":/LedRedThree.png"})
        QVERIFY2(!QImage(image).isNull(), image);
    QCOMPARE(QImage(":/LED1").size(), QSize(25, 25));
    QCOMPARE(QImage(":/CLOSE1").size(), QSize(14, 15));

    // The lamps really show their pictures: lit is cyan, unlit grey.
    QVERIFY(rig.show());
    const QColor unlit = rig.lamp("LED5")->grab().toImage().pixelColor(17, 17);
    QVERIFY2(unlit.red() == unlit.blue() && unlit.green() == unlit.red() && unlit.red() > 60,
             qPrintable(unlit.name()));
    w->onDealDataLED(QBitArray(2, true));
    const QColor lit = rig.lamp("LED5")->grab().toImage().pixelColor(17, 17);
    QVERIFY2(lit.blue() > 200 && lit.blue() - lit.red() > 80, qPrintable(lit.name()));
}

void TestMonitorWindow::startUpSendsOnlyTheVersionQuery()
{
    emulator::DeviceConfig config;
    config.values = {100, 2000, 3000, 4000};
    Rig rig(true, config);
    QVERIFY(rig.reader());
    QVERIFY(rig.reader()->isRunning());
    const std::vector<Bytes> sent = rig.received();
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(sent[0], command({0x80, 0x03, 0x01}, 64));
    // The device answers with a value report, which sets the handles.
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{100, 2000, 3000, 4000}));
    QCOMPARE(rig.received().size(), std::size_t(1));
}

void TestMonitorWindow::startValuesSendNothing()
{
    Rig rig(true);
    QVERIFY(rig.show());
    rig.window->onInit();
    QCOMPARE(rig.rulerValues(), (QList<double>{0, 1024, 3072, 4095}));
    const int w = rig.ruler()->width();
    const double starts[] = {0, 1024, 3072, 4095};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(rig.ruler()->handleX(i), 13 + (w - 26) * starts[i] / 4096);
    QCOMPARE(rig.received().size(), std::size_t(1));
}

void TestMonitorWindow::startWithoutDeviceThenPlugIn()
{
    Rig rig(false);
    QVERIFY(!rig.reader());
    QCOMPARE(rig.received().size(), std::size_t(0));

    rig.device->plug();
    QTRY_VERIFY(rig.reader());
    QTRY_VERIFY(rig.reader()->isRunning());
    QTRY_COMPARE(rig.backend.openReadHandles(rig.device.get()), 1);

    rig.device->sendReport(emulator::EmulatedDevice::statusReport(1500, true, false));
    QTRY_COMPARE(rig.bar()->getValue(), 1500.0);
    QTRY_COMPARE(rig.lamp("LED5")->styleSheet(), Lit);
    QCOMPARE(rig.lamp("LED6")->styleSheet(), Unlit);
    rig.device->sendReport(emulator::EmulatedDevice::valueReport({5, 6, 7, 8}, 1250));
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{5, 6, 7, 8}));
    // Arrival does not ask for the version: nothing was sent.
    QCOMPARE(rig.received().size(), std::size_t(0));
}

void TestMonitorWindow::unplugAndReplug()
{
    Rig rig(true);
    monitor::USBThread *reader = rig.reader();
    QVERIFY(reader);
    rig.device->sendReport(emulator::EmulatedDevice::statusReport(100, false, false));
    QTRY_COMPARE(rig.bar()->getValue(), 100.0);

    // A notifier of the test's own hears each change in the same pass as the window's.
    DeviceNotifier witness;
    QSignalSpy removals(&witness, &DeviceNotifier::removed);
    QSignalSpy arrivals(&witness, &DeviceNotifier::arrived);
    rig.device->unplug();
    QTRY_COMPARE(removals.count(), 1);
    QCoreApplication::processEvents();
    QVERIFY(reader->isRunning()); // idle, not ended

    rig.device->plug();
    QTRY_COMPARE(arrivals.count(), 1);
    QCoreApplication::processEvents();
    // The same reader, now reading through the newly opened handle; the old one is
    // closed once the reader has the new one.
    QCOMPARE(rig.reader(), reader);
    QCOMPARE(rig.window->findChildren<monitor::USBThread *>().size(), 1);
    QCOMPARE(rig.backend.openReadHandles(rig.device.get()), 1);
    rig.device->sendReport(emulator::EmulatedDevice::statusReport(2500, false, true));
    QTRY_COMPARE(rig.bar()->getValue(), 2500.0);
    QTRY_COMPARE(rig.lamp("LED6")->styleSheet(), Lit);

    // Values still go out through the new write handle.
    rig.window->onSendData();
    QCOMPARE(rig.received().back(),
             command({0x80, 0x03, 0x02, 0, 0, 0, 4, 0, 0x0C, 0xFF, 0x0F}, 64));
}

void TestMonitorWindow::otherDevicesAreIgnored_data()
{
    QTest::addColumn<int>("vendorId");
    QTest::addColumn<int>("productId");
    QTest::addColumn<QString>("path");

    QTest::newRow("other product") << 0x0483 << 0x0527 << QString();
    QTest::newRow("other vendor") << 0x0484 << 0x0526 << QString();
    // Our ids, but a name the matching rule cannot read them from.
    QTest::newRow("path without VID and PID") << 0x0483 << 0x0526 << "\\\\?\\hid#dev_1234#0";
}

void TestMonitorWindow::otherDevicesAreIgnored()
{
    QFETCH(int, vendorId);
    QFETCH(int, productId);
    QFETCH(QString, path);

    Rig rig(false);
    emulator::DeviceConfig config;
    config.vendorId = std::uint16_t(vendorId);
    config.productId = std::uint16_t(productId);
    config.path = path.toStdString();
    emulator::EmulatedDevice other(rig.backend, config);
    // A notifier of the test's own hears the arrival in the same pass as the window's.
    DeviceNotifier witness;
    QSignalSpy arrivals(&witness, &DeviceNotifier::arrived);
    other.plug();
    QTRY_COMPARE(arrivals.count(), 1);
    QCoreApplication::processEvents();
    QVERIFY(!rig.reader());
    QCOMPARE(rig.backend.openReadHandles(&other), 0);
}

namespace {
class StyleChanges : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::StyleChange;
        return false;
    }
};
} // namespace

void TestMonitorWindow::unchangedLampsAreNotRestyled()
{
    Rig rig(false);
    QVERIFY(rig.show());
    StyleChanges changes;
    rig.lamp("LED6")->installEventFilter(&changes);
    QBitArray bits(2);
    bits.setBit(1);
    rig.window->onDealDataLED(bits);
    QCOMPARE(changes.count, 1);
    rig.window->onDealDataLED(bits);
    rig.window->onDealDataLED(bits);
    QCOMPARE(changes.count, 1);
    QCOMPARE(rig.lamp("LED6")->styleSheet(), Lit);
    rig.window->onDealDataLED(QBitArray(2));
    QCOMPARE(changes.count, 2);
    QCOMPARE(rig.lamp("LED6")->styleSheet(), Unlit);
}

void TestMonitorWindow::statusReports_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("lamp1");
    QTest::addColumn<bool>("lamp2");
    QTest::addColumn<double>("bar");

    QTest::newRow("0x1234 is above the bar's range") << 0x1234 << true << true << 3000.0;
    QTest::newRow("lamp 1") << 2000 << true << false << 2000.0;
    QTest::newRow("lamp 2") << 4096 << false << true << 4096.0;
    QTest::newRow("no lamps") << 0 << false << false << 0.0;
}

void TestMonitorWindow::statusReports()
{
    QFETCH(int, value);
    QFETCH(bool, lamp1);
    QFETCH(bool, lamp2);
    QFETCH(double, bar);

    Rig rig(true);
    // A known start that differs from every row: bar at 3000, both lamps lit.
    rig.device->sendReport(emulator::EmulatedDevice::statusReport(3000, true, true));
    QTRY_COMPARE(rig.bar()->getValue(), 3000.0);
    QTRY_COMPARE(rig.lamp("LED6")->styleSheet(), Lit);

    rig.device->sendReport(emulator::EmulatedDevice::statusReport(quint16(value), lamp1, lamp2));
    QTRY_COMPARE(rig.lamp("LED5")->styleSheet(), lamp1 ? Lit : Unlit);
    QTRY_COMPARE(rig.lamp("LED6")->styleSheet(), lamp2 ? Lit : Unlit);
    QCOMPARE(rig.bar()->getValue(), bar);
}

void TestMonitorWindow::valueReports_data()
{
    QTest::addColumn<QByteArray>("payload"); // bytes 1 to 9
    QTest::addColumn<QList<double>>("handles");

    // Passing neighbours, every value ends up as handle 1's: the last one was 0.
    QTest::newRow("4095 4095 0 0") << QByteArray("\x0A\xFF\xFF\xFF\x00\xAA\xBB\x00\x00", 9)
                                   << QList<double>{0, 1024, 3072, 4095};
    QTest::newRow("1 2 2 67") << QByteArray("\x0A\x01\x20\x00\x02\x00\x00\x30\x04", 9)
                              << QList<double>{1, 2, 2, 67};
    QTest::newRow("other class ignored") << QByteArray("\x07\x01\x20\x00\x02\x00\x00\x30\x04", 9)
                                         << QList<double>{0, 1024, 3072, 4095};
}

void TestMonitorWindow::valueReports()
{
    QFETCH(QByteArray, payload);
    QFETCH(QList<double>, handles);

    Rig rig(true);
    QVERIFY(rig.show());
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{0, 1024, 3072, 4095}));
    QSignalSpy changed(rig.ruler(), &SliderRuler::valueChanged);

    Bytes report{0x80};
    report.insert(report.end(), payload.begin(), payload.end());
    rig.device->sendReport(report);
    // A status report behind it shows that the value report has been dealt with.
    rig.device->sendReport(emulator::EmulatedDevice::statusReport(77, false, false));
    QTRY_COMPARE(rig.bar()->getValue(), 77.0);
    QCOMPARE(rig.rulerValues(), handles);
    QCOMPARE(rig.received().size(), std::size_t(1)); // setting handles sends nothing
}

void TestMonitorWindow::dragHandleWritesValues()
{
    Rig rig(true);
    QVERIFY(rig.show());
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{0, 1024, 3072, 4095}));
    SliderRuler *ruler = rig.ruler();
    const QPoint grip = rig.grip(1);
    const int target = grip.x() + 60;
    const QLineF line(13, 0, ruler->width() - 13, 0);
    const double expected = 4096.0 * (target - line.x1()) / (line.x2() - line.x1());

    QTest::mousePress(ruler, Qt::LeftButton, Qt::NoModifier, grip);
    sendMouse(ruler, QEvent::MouseMove, Qt::LeftButton, QPoint(target, grip.y()));
    QCOMPARE(rig.received().size(), std::size_t(1)); // nothing until the release
    QTest::mouseRelease(ruler, Qt::LeftButton, Qt::NoModifier, QPoint(target, grip.y()));

    const std::vector<Bytes> sent = rig.received();
    QCOMPARE(sent.size(), std::size_t(2));
    const int v2 = int(expected);
    QCOMPARE(sent[1], command({0x80, 0x03, 0x02, 0, 0, quint8(v2 & 0xFF), quint8(v2 >> 8), 0x00,
                               0x0C, 0xFF, 0x0F},
                              64));
    QCOMPARE(rig.device->values(), (Values{0, quint16(v2), 3072, 4095}));
    // The device echoes what it stored; the ruler keeps showing it.
    QTRY_COMPARE(rig.ruler()->getValue(1), double(v2));
}

void TestMonitorWindow::typedValueWritesValues()
{
    Rig rig(true);
    QVERIFY(rig.show());
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{0, 1024, 3072, 4095}));
    QLineEdit *edit = rig.child<QLineEdit>("lineEditC");
    edit->clear();
    QTest::keyClicks(edit, "2222");
    QTest::keyClick(edit, Qt::Key_Return);

    const std::vector<Bytes> sent = rig.received();
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(sent[1], command({0x80, 0x03, 0x02, 0, 0, 0, 4, 0xAE, 0x08, 0xFF, 0x0F}, 64));
    QCOMPARE(rig.device->values(), (Values{0, 1024, 2222, 4095}));
}

void TestMonitorWindow::sendingWithoutDevice()
{
    Rig rig(false);
    DebugLines debug;
    rig.window->onSendData();
    QMetaObject::invokeMethod(rig.window.get(), "onSendData800301");
    const unsigned char query[11] = {0x80, 0x03, 0x01};
    QCOMPARE(rig.window->SendDataToUsb(query), -1);
    QCOMPARE(debug.count("Length>>>>>>>>>>>>>>>"), 0);
    QCOMPARE(debug.count(" numnber>>>>"), 1);
    QCOMPARE(rig.received().size(), std::size_t(0));
}

void TestMonitorWindow::refusedWriteBlocksLaterSends()
{
    Rig rig(true);
    const unsigned char query[11] = {0x80, 0x03, 0x01};
    DebugLines debug;
    QCOMPARE(rig.window->SendDataToUsb(query), 1);
    QCOMPARE(debug.last(), QString("Length>>>>>>>>>>>>>>>  64"));

    rig.device->refuseFeatures(true);
    QCOMPARE(rig.window->SendDataToUsb(query), 0);
    rig.device->refuseFeatures(false);
    const std::size_t before = rig.received().size();
    QCOMPARE(rig.window->SendDataToUsb(query), -1);
    rig.window->onSendData();
    QCOMPARE(rig.received().size(), before); // the device saw nothing more
    QCOMPARE(debug.count("Length>>>>>>>>>>>>>>>"), 2);
}

void TestMonitorWindow::windowDrag_data()
{
    QTest::addColumn<QString>("target"); // object name of the widget pressed
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("moves");

    QTest::newRow("background, left button") << "centralwidget" << int(Qt::LeftButton) << true;
    QTest::newRow("lamp, left button") << "LED5" << int(Qt::LeftButton) << true;
    QTest::newRow("background, right button") << "centralwidget" << int(Qt::RightButton) << false;
    QTest::newRow("ruler keeps the mouse") << "Ruler" << int(Qt::LeftButton) << false;
}

void TestMonitorWindow::windowDrag()
{
    QFETCH(QString, target);
    QFETCH(int, button);
    QFETCH(bool, moves);

    Rig rig(false);
    QVERIFY(rig.show());
    rig.window->move(100, 100);
    const QPoint start = rig.window->pos();
    QWidget *widget = rig.window->findChild<QWidget *>(target);
    QVERIFY(widget);
    const QPoint at(widget->width() / 2, qMin(4, widget->height() / 2));

    sendMouse(widget, QEvent::MouseButtonPress, Qt::MouseButton(button), at);
    sendMouse(widget, QEvent::MouseMove, Qt::MouseButton(button), at + QPoint(30, 20));
    sendMouse(widget, QEvent::MouseButtonRelease, Qt::MouseButton(button), at + QPoint(30, 20));
    QCOMPARE(rig.window->pos(), moves ? start + QPoint(30, 20) : start);

    // Released: moving the mouse no longer moves the window.
    sendMouse(widget, QEvent::MouseMove, Qt::NoButton, at + QPoint(60, 60));
    QCOMPARE(rig.window->pos(), moves ? start + QPoint(30, 20) : start);
}

void TestMonitorWindow::closeButtonQuitsAndReaderIsJoined()
{
    Rig rig(true);
    QVERIFY(rig.show());
    monitor::USBThread *reader = rig.reader();
    QSignalSpy finished(reader, &QThread::finished);
    QCOMPARE(rig.backend.openReadHandles(rig.device.get()), 1);

    auto *close = rig.child<QToolButton>("toolButton");
    QTimer::singleShot(0, close, [close] {
        QTest::mouseClick(close, Qt::LeftButton, Qt::NoModifier, close->rect().center());
    });
    QTimer stuck; // a close that does not quit fails instead of hanging
    stuck.setSingleShot(true);
    connect(&stuck, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    stuck.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    stuck.stop();

    QVERIFY(reader->isRunning()); // quitting alone leaves the reader to the window
    rig.window.reset();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(rig.backend.openReadHandles(rig.device.get()), 0);
}

QTEST_MAIN(TestMonitorWindow)
#include "tst_monitorwindow.moc"
