// The monitor's reader and window under storms against the emulated device: a
// hundred plug and unplug cycles while status reports stream in, the reader paused,
// resumed and handed new handles in quick succession, and the window closed while
// reports are on their way. Each case must end with every thread it started gone.

#include "hidlink.h"
#include "monitorrig.h"

#include <QDir>
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

DeviceConfig streaming(int statusRateHz, int valueRateHz = 0)
{
    DeviceConfig config;
    config.statusRateHz = statusRateHz;
    config.valueRateHz = valueRateHz;
    return config;
}

// Counts what a reader hands over, on the GUI thread as the window receives it.
struct Receiver : QObject
{
    int statuses = 0;
    int valueReports = 0;

    explicit Receiver(monitor::USBThread *reader)
    {
        connect(reader, &monitor::USBThread::ReportDataBuffer, this, [this] { ++statuses; });
        connect(reader, &monitor::USBThread::ReportDataBuffer800a, this,
                [this] { ++valueReports; });
    }
};

} // namespace

class TestMonitorStorms : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { QTRY_COMPARE(threadsInProcess(), baselineThreads); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void plugStormWithMonitorWindow();
    void pauseResumeAndHandleSwapStorms();
    void closingDuringReports_data();
    void closingDuringReports();

private:
    int baselineThreads = 0;
};

void TestMonitorStorms::initTestCase()
{
    previousHandler = qInstallMessageHandler(dropDebugLines);
    if (!QDir(QStringLiteral("/proc/self/task")).exists())
        QSKIP("threads are counted through /proc");
    {
        // A first window brings up what Qt keeps for the rest of the run.
        Rig warmUp(false);
        warmUp.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(warmUp.window.get()));
    }
    QCoreApplication::processEvents();
    baselineThreads = threadsInProcess();
}

void TestMonitorStorms::plugStormWithMonitorWindow()
{
    Rig rig(true, streaming(2000));
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    monitor::USBThread *reader = rig.reader();
    QVERIFY(reader);
    Receiver received(reader);
    QTRY_VERIFY(received.statuses > 0);

    for (int i = 0; i < 100; ++i) {
        rig.device->unplug();
        // Sometimes the removal is handled before the device is back, sometimes both
        // notifications wait for the same pass of the event loop.
        if (i % 2 == 0)
            QCoreApplication::processEvents();
        rig.device->plug();
        QCoreApplication::processEvents();
        if (i % 10 == 9) {
            const int before = received.statuses;
            QTRY_VERIFY(received.statuses > before);
        }
    }
    // Still the one reader of the window, reading through the one handle left open.
    QCOMPARE(rig.window->findChildren<monitor::USBThread *>(), QList<monitor::USBThread *>{reader});
    QVERIFY(reader->isRunning());
    QTRY_COMPARE(rig.openReadHandles(), 1);

    // Status reports still reach the bar, a value report the ruler, and values go out
    // through the newest write handle.
    const double bar = rig.bar();
    QTRY_VERIFY(rig.bar() != bar);
    rig.device->sendReport(EmulatedDevice::valueReport({11, 22, 33, 44}, 1250));
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{11, 22, 33, 44}));
    rig.window->onSendData();
    QCOMPARE(rig.device->values(), (std::array<std::uint16_t, 4>{{11, 22, 33, 44}}));

    rig.window.reset();
    QCOMPARE(rig.openReadHandles(), 0);
}

void TestMonitorStorms::pauseResumeAndHandleSwapStorms()
{
    Rig rig(true, streaming(2000), false);
    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    auto reader = std::make_unique<monitor::USBThread>(link.readHandle, link.deviceFound);
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

    // What each replug does to the reader, without the event loop's pace: a new
    // handle is handed over while the reader reads, then the old one closed.
    const std::string path = rig.device->info().path;
    hidplatform::Handle handle = link.readHandle;
    for (int i = 0; i < 100; ++i) {
        const hidplatform::Handle next = rig.backend.openRead(path);
        QVERIFY(next != hidplatform::InvalidHandle);
        reader->Slot_init(next, true);
        rig.backend.close(handle);
        handle = next;
    }
    QCOMPARE(rig.openReadHandles(), 1);
    QCoreApplication::processEvents();
    const int before = received.statuses;
    QTRY_VERIFY(received.statuses > before);
    rig.device->sendReport(EmulatedDevice::valueReport({1, 2, 3, 4}, 1250));
    QTRY_COMPARE(received.valueReports, 1);

    reader.reset(); // joins while reports stream in
    rig.backend.close(handle);
    rig.backend.close(link.writeHandle);
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

    Rig rig(true, streaming(statusRateHz, valueRateHz));
    QPointer<monitor::USBThread> reader = rig.reader();
    QVERIFY(reader);
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
    // The queued calls to the window's coalescer went with it.
    QCoreApplication::processEvents();
}

QTEST_MAIN(TestMonitorStorms)
#include "tst_monitorstorms.moc"
