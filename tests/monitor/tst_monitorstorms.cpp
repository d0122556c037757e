// The monitor's reader and window under storms against the emulated device: a
// hundred plug and unplug cycles while status reports stream in, the reader paused,
// resumed and handed new handles in quick succession, and the window closed while
// reports are on their way. Each case must end with every thread it started gone.

#include "emulateddevice.h"
#include "hidlink.h"
#include "mainwindow.h"
#include "progressbarcolor.h"
#include "sliderruler.h"
#include "usbthread.h"

#include <QDir>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {

int threadsInProcess()
{
    return QDir(QStringLiteral("/proc/self/task"))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

// The reader writes a debug line for every status report: thousands here.
QtMessageHandler previousHandler = nullptr;
void dropDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg)
        previousHandler(type, context, message);
}

// Counts what a reader hands over, on the GUI thread as the window receives it.
class Receiver : public QObject
{
public:
    int statuses = 0;
    int valueReports = 0;
    QByteArray lastValues;

    void listenTo(monitor::USBThread *reader)
    {
        connect(reader, &monitor::USBThread::ReportDataBuffer, this, [this] { ++statuses; });
        connect(reader, &monitor::USBThread::ReportDataBuffer800a, this,
                [this](const QByteArray &report) {
                    ++valueReports;
                    lastValues = report;
                });
    }
};

QList<double> rulerValues(const MainWindow &window)
{
    const auto *ruler = window.findChild<SliderRuler *>(QStringLiteral("Ruler"));
    QList<double> values;
    for (int i = 0; i < 4; ++i)
        values << ruler->getValue(i);
    return values;
}

double barValue(const MainWindow &window)
{
    return window.findChild<ProgressBarColor *>(QStringLiteral("Bar"))->getValue();
}

} // namespace

class TestMonitorStorms : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { hidplatform::setBackend(&backend); }
    void cleanup();
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void plugStormWithMonitorWindow();
    void pauseResumeStorm();
    void handleSwapStorm();
    void closingDuringReports_data();
    void closingDuringReports();

private:
    hidplatform::EmulatedBackend backend;
    int baselineThreads = 0;
};

void TestMonitorStorms::initTestCase()
{
    previousHandler = qInstallMessageHandler(dropDebugLines);
    if (!QDir(QStringLiteral("/proc/self/task")).exists())
        QSKIP("threads are counted through /proc");
    // A first window brings up what Qt keeps for the rest of the run.
    hidplatform::setBackend(&backend);
    {
        MainWindow warmUp;
        warmUp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&warmUp));
    }
    QCoreApplication::processEvents();
    baselineThreads = threadsInProcess();
}

void TestMonitorStorms::cleanup()
{
    // Whatever a case started has ended by now (the devices and their schedulers too).
    QTRY_COMPARE(threadsInProcess(), baselineThreads);
    hidplatform::setBackend(nullptr);
}

void TestMonitorStorms::plugStormWithMonitorWindow()
{
    DeviceConfig config;
    config.statusRateHz = 2000;
    EmulatedDevice device(backend, config);
    device.attach();
    auto window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    monitor::USBThread *reader = window->findChild<monitor::USBThread *>();
    QVERIFY(reader);
    Receiver received;
    received.listenTo(reader);
    QTRY_VERIFY(received.statuses > 0);

    for (int i = 0; i < 100; ++i) {
        device.unplug();
        // Sometimes the removal is handled before the device is back, sometimes both
        // notifications wait for the same pass of the event loop.
        if (i % 2 == 0)
            QCoreApplication::processEvents();
        device.plug();
        QCoreApplication::processEvents();
        if (i % 10 == 9) {
            const int before = received.statuses;
            QTRY_VERIFY(received.statuses > before);
        }
    }
    // Still the one reader of the window, reading through the one handle left open.
    QCOMPARE(window->findChildren<monitor::USBThread *>().size(), 1);
    QCOMPARE(window->findChild<monitor::USBThread *>(), reader);
    QVERIFY(reader->isRunning());
    QTRY_COMPARE(backend.openReadHandles(&device), 1);

    // Status reports still reach the bar, and a value report the ruler.
    const double bar = barValue(*window);
    QTRY_VERIFY(barValue(*window) != bar);
    device.sendReport(EmulatedDevice::valueReport({11, 22, 33, 44}, 1250));
    QTRY_COMPARE(rulerValues(*window), (QList<double>{11, 22, 33, 44}));
    // And values go out through the newest write handle.
    window->onSendData();
    QCOMPARE(device.values(), (std::array<std::uint16_t, 4>{{11, 22, 33, 44}}));

    window.reset();
    QCOMPARE(backend.openReadHandles(&device), 0);
}

void TestMonitorStorms::pauseResumeStorm()
{
    DeviceConfig config;
    config.statusRateHz = 2000;
    EmulatedDevice device(backend, config);
    device.attach();
    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    auto reader = std::make_unique<monitor::USBThread>(link.readHandle, link.deviceFound);
    Receiver received;
    received.listenTo(reader.get());
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
    link.closeReadHandle();
    backend.close(link.writeHandle);
}

void TestMonitorStorms::handleSwapStorm()
{
    // What each replug does to the monitor's reader, without the event loop's pace:
    // a new handle is handed over while the reader reads, then the old one closed.
    DeviceConfig config;
    config.statusRateHz = 2000;
    EmulatedDevice device(backend, config);
    device.attach();
    const std::string path = device.info().path;
    hidplatform::Handle handle = backend.openRead(path);
    auto reader = std::make_unique<monitor::USBThread>(handle, true);
    Receiver received;
    received.listenTo(reader.get());
    reader->start();
    QTRY_VERIFY(received.statuses > 0);

    for (int i = 0; i < 100; ++i) {
        const hidplatform::Handle next = backend.openRead(path);
        QVERIFY(next != hidplatform::InvalidHandle);
        reader->Slot_init(next, true);
        backend.close(handle);
        handle = next;
    }
    QCOMPARE(backend.openReadHandles(&device), 1);
    QCoreApplication::processEvents();
    const int before = received.statuses;
    QTRY_VERIFY(received.statuses > before);
    device.sendReport(EmulatedDevice::valueReport({1, 2, 3, 4}, 1250));
    QTRY_COMPARE(received.valueReports, 1);

    reader.reset();
    backend.close(handle);
}

void TestMonitorStorms::closingDuringReports_data()
{
    QTest::addColumn<int>("statusRateHz");
    QTest::addColumn<int>("valueRateHz");
    QTest::addColumn<bool>("unplugged");
    QTest::newRow("silent device") << 0 << 0 << false;
    QTest::newRow("status stream") << 2000 << 0 << false;
    QTest::newRow("status and value streams") << 2000 << 2000 << false;
    QTest::newRow("paused by a removal") << 2000 << 0 << true;
}

void TestMonitorStorms::closingDuringReports()
{
    QFETCH(int, statusRateHz);
    QFETCH(int, valueRateHz);
    QFETCH(bool, unplugged);
    DeviceConfig config;
    config.statusRateHz = statusRateHz;
    config.valueRateHz = valueRateHz;
    EmulatedDevice device(backend, config);
    device.attach();
    auto *window = new MainWindow;
    QPointer<monitor::USBThread> reader = window->findChild<monitor::USBThread *>();
    QVERIFY(reader);
    QTRY_VERIFY(reader->isRunning());
    if (unplugged) {
        device.unplug();
        QTest::qWait(20); // the removal reaches the window: the reader is paused
    }
    // The event loop does not run: decoded reports pile up as queued signals, and
    // the reader is in its read or emitting the next one when the window goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    delete window;
    QVERIFY(reader.isNull());
    QCOMPARE(backend.openReadHandles(&device), 0);
    // The queued calls to the window's coalescer went with it.
    QCoreApplication::processEvents();
}

QTEST_MAIN(TestMonitorStorms)
#include "tst_monitorstorms.moc"
