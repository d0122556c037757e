// The updater's reader and window under storms against the emulated device: readers
// started, stopped, abandoned and joined in quick succession, a hundred plug and
// unplug cycles while the device streams reports, and the window closed while its
// reader is reading. Each case must end with every thread it started gone.

#include "emulateddevice.h"
#include "hidlink.h"
#include "mainwindow.h"
#include "usbevent.h"
#include "usbthread.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {

// A report with report id 0x80 that no handler of the updater acts on: it is counted
// to prove that a report is posted once, not once per reader.
constexpr std::uint8_t MarkerClass = 0x77;

int threadsInProcess()
{
    return QDir(QStringLiteral("/proc/self/task"))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

// Counts the USBEvents delivered to the object it watches, split by marker.
class EventCounter : public QObject
{
public:
    int reports = 0;
    int markers = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == USBEvent::EventType) {
            ++reports;
            markers += static_cast<USBEvent *>(event)->data.at(1) == char(MarkerClass) ? 1 : 0;
        }
        return false;
    }
};

// A plain receiver for a reader without a window.
class ReportSink : public QObject
{
public:
    EventCounter counter;
    ReportSink() { installEventFilter(&counter); }
};

// The updater's window with its exit recorded instead of taken.
class StormWindow : public MainWindow
{
public:
    int exitCode = -1;

protected:
    void endProcess(int code) override { exitCode = code; }
};

// Closes any modal box the window would show (none is expected) so that a fault
// fails the test instead of hanging it.
class BoxWatch : public QObject
{
public:
    int boxes = 0;
    BoxWatch()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ++boxes;
                modal->close();
            }
        });
        timer.start(20);
    }

private:
    QTimer timer;
};

// Drops the debug lines of the link ("insert my Hid" two hundred times); may be
// called from any thread.
std::atomic<int> droppedDebugLines{0};
QtMessageHandler previousHandler = nullptr;
void dropDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        ++droppedDebugLines;
        return;
    }
    previousHandler(type, context, message);
}

std::vector<std::uint8_t> marker()
{
    return {0x80, MarkerClass, 0x01};
}

} // namespace

class TestStorms : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { hidplatform::setBackend(&backend); }
    void cleanup();
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void readerStartStopJoin_data();
    void readerStartStopJoin();
    void readerStoppedBeforeStartNeverReads();
    void readerFinishedTwiceAndNeverStarted();
    void abandonedReadersEndOnTheirOwn();
    void plugStormWithUpdaterWindow();
    void closingDuringARead_data();
    void closingDuringARead();
    void closeButtonDuringAStream();

private:
    hidplatform::EmulatedBackend backend;
    int baselineThreads = 0;
};

void TestStorms::initTestCase()
{
    Q_INIT_RESOURCE(updater);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    previousHandler = qInstallMessageHandler(dropDebugLines);
    if (!QDir(QStringLiteral("/proc/self/task")).exists())
        QSKIP("threads are counted through /proc");
    // A first window brings up what Qt keeps for the rest of the run.
    hidplatform::setBackend(&backend);
    {
        StormWindow warmUp;
        warmUp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&warmUp));
    }
    QCoreApplication::processEvents();
    baselineThreads = threadsInProcess();
}

void TestStorms::cleanup()
{
    // Whatever a case started has ended by now (the devices and their schedulers too).
    QTRY_COMPARE(threadsInProcess(), baselineThreads);
    hidplatform::setBackend(nullptr);
}

void TestStorms::readerStartStopJoin_data()
{
    QTest::addColumn<int>("waitForRunning");
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("joined as it starts") << 0 << false;
    QTest::newRow("joined while reading") << 1 << false;
    QTest::newRow("stopped, then joined while reading") << 1 << true;
}

void TestStorms::readerStartStopJoin()
{
    QFETCH(int, waitForRunning);
    QFETCH(bool, stopFirst);
    DeviceConfig config;
    config.statusRateHz = 2000;
    config.valueRateHz = 500;
    EmulatedDevice device(backend, config);
    device.attach();
    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    ReportSink sink;

    for (int i = 0; i < 100; ++i) {
        auto reader = std::make_unique<USBThread>(&sink, link.readHandle, link.deviceFound);
        reader->StopOrStart(true);
        reader->start();
        if (waitForRunning)
            QTRY_VERIFY(reader->isRunning());
        if (stopFirst)
            reader->StopOrStart(false);
        reader.reset(); // joins, whatever the reader was doing
    }
    // The handle outlived a hundred readers and still reads.
    USBThread last(&sink, link.readHandle, link.deviceFound);
    last.StopOrStart(true);
    last.start();
    const int before = sink.counter.reports;
    QTRY_VERIFY(sink.counter.reports > before);
    last.finish();
    QVERIFY(last.isFinished());
    link.closeReadHandle();
    backend.close(link.writeHandle);
}

void TestStorms::readerStoppedBeforeStartNeverReads()
{
    EmulatedDevice device(backend);
    device.attach();
    HidLink link(0x0483, 0x0526);
    link.OpenUSBHandle();
    ReportSink sink;
    USBThread reader(&sink, link.readHandle, link.deviceFound);
    reader.StopOrStart(false);
    device.sendReport(marker());
    reader.start();
    QTRY_VERIFY(reader.isFinished());
    QCoreApplication::processEvents();
    QCOMPARE(sink.counter.reports, 0);
    // The report it left is still there for the next reader.
    USBThread next(&sink, link.readHandle, link.deviceFound);
    next.StopOrStart(true);
    next.start();
    QTRY_COMPARE(sink.counter.markers, 1);
    link.closeReadHandle();
    backend.close(link.writeHandle);
}

void TestStorms::readerFinishedTwiceAndNeverStarted()
{
    EmulatedDevice device(backend);
    device.attach();
    HidLink link(0x0483, 0x0526);
    link.OpenUSBHandle();
    ReportSink sink;
    {
        USBThread neverStarted(&sink, link.readHandle, true);
        neverStarted.StopOrStart(true);
    } // joins a thread that never ran

    USBThread reader(&sink, link.readHandle, true);
    reader.StopOrStart(true);
    reader.start();
    QTRY_VERIFY(reader.isRunning());
    reader.finish();
    QVERIFY(reader.isFinished());
    reader.finish();
    // Finished for good: neither a new start nor StopOrStart brings it back to reading.
    reader.StopOrStart(true);
    reader.start();
    QVERIFY(reader.wait(5000));
    device.sendReport(marker());
    QTest::qWait(20);
    QCOMPARE(sink.counter.markers, 0);
    link.closeReadHandle();
    backend.close(link.writeHandle);
}

void TestStorms::abandonedReadersEndOnTheirOwn()
{
    // What the updater does on every replug: stop the reader and close its handle
    // without waiting, then start a new one on a new handle.
    DeviceConfig config;
    config.statusRateHz = 2000;
    config.valueRateHz = 500;
    EmulatedDevice device(backend, config);
    device.attach();
    HidLink link(0x0483, 0x0526);
    ReportSink sink;
    std::vector<std::unique_ptr<USBThread>> readers;
    for (int i = 0; i < 100; ++i) {
        if (!readers.empty()) {
            readers.back()->StopOrStart(false);
            link.closeReadHandle();
        }
        QCOMPARE(link.OpenUSBHandle(), 0);
        readers.push_back(std::make_unique<USBThread>(&sink, link.readHandle, link.deviceFound));
        readers.back()->StopOrStart(true);
        readers.back()->start();
        if (i % 10 == 0)
            QCoreApplication::processEvents();
    }
    for (std::size_t i = 0; i + 1 < readers.size(); ++i)
        QTRY_VERIFY2(readers[i]->isFinished(), qPrintable(QString::number(i)));
    QVERIFY(readers.back()->isRunning());
    QCOMPARE(backend.openReadHandles(&device), 1);

    // One reader is left, so a report is posted once.
    QCoreApplication::processEvents();
    device.sendReport(marker());
    QTRY_COMPARE(sink.counter.markers, 1);
    QTest::qWait(20);
    QCOMPARE(sink.counter.markers, 1);

    readers.clear();
    link.closeReadHandle();
    backend.close(link.writeHandle);
}

void TestStorms::plugStormWithUpdaterWindow()
{
    DeviceConfig config;
    config.statusRateHz = 2000; // dropped by the reader, but read one by one
    config.valueRateHz = 200;   // posted to the window
    EmulatedDevice device(backend, config);
    device.attach();
    BoxWatch boxes;
    auto window = std::make_unique<StormWindow>();
    EventCounter events;
    window->installEventFilter(&events);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTRY_VERIFY(events.reports > 0);

    for (int i = 0; i < 100; ++i) {
        device.unplug();
        // Sometimes the removal is handled before the device is back, sometimes both
        // notifications wait for the same pass of the event loop.
        if (i % 2 == 0)
            QCoreApplication::processEvents();
        device.plug();
        QCoreApplication::processEvents();
        if (i % 10 == 9) {
            // The new reader delivers before the next round.
            const int before = events.reports;
            QTRY_VERIFY(events.reports > before);
        }
    }
    QTRY_VERIFY(window->currentReader() && window->currentReader()->isRunning());
    // Every arrival was handled once: the reader of the start and one per arrival,
    // the stopped ones kept as the window's children.
    const QList<USBThread *> readers = window->findChildren<USBThread *>();
    QCOMPARE(readers.size(), 101);
    for (USBThread *reader : readers) {
        if (reader != window->currentReader())
            QTRY_VERIFY(reader->isFinished());
    }
    QCOMPARE(backend.openReadHandles(&device), 1);
    QVERIFY(window->link().deviceFound);

    const int markersBefore = events.markers;
    device.sendReport(marker());
    QTRY_COMPARE(events.markers, markersBefore + 1);
    QTest::qWait(20);
    QCOMPARE(events.markers, markersBefore + 1);
    QCOMPARE(boxes.boxes, 0);

    QPointer<USBThread> current = window->currentReader();
    window.reset();
    QVERIFY(current.isNull());
    QCOMPARE(backend.openReadHandles(&device), 0);
}

void TestStorms::closingDuringARead_data()
{
    QTest::addColumn<int>("statusRateHz");
    QTest::addColumn<int>("valueRateHz");
    QTest::addColumn<bool>("withAbandonedReader");
    QTest::newRow("silent device") << 0 << 0 << false;
    QTest::newRow("status stream") << 2000 << 0 << false;
    QTest::newRow("replies pending delivery") << 0 << 2000 << false;
    QTest::newRow("beside an abandoned reader") << 2000 << 500 << true;
}

void TestStorms::closingDuringARead()
{
    QFETCH(int, statusRateHz);
    QFETCH(int, valueRateHz);
    QFETCH(bool, withAbandonedReader);
    DeviceConfig config;
    config.statusRateHz = statusRateHz;
    config.valueRateHz = valueRateHz;
    EmulatedDevice device(backend, config);
    device.attach();
    BoxWatch boxes;
    auto *window = new StormWindow;
    QTRY_VERIFY(window->currentReader() && window->currentReader()->isRunning());
    if (withAbandonedReader) {
        device.unplug();
        device.plug();
        QTRY_COMPARE(window->findChildren<USBThread *>().size(), 2);
    }
    // The event loop does not run: reports pile up as posted events, and the
    // reader is in its read or posting the next one when the window goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QPointer<USBThread> current = window->currentReader();
    delete window;
    QVERIFY(current.isNull());
    QCOMPARE(backend.openReadHandles(&device), 0);
    // The events posted to the window went with it.
    QCoreApplication::processEvents();
    QCOMPARE(boxes.boxes, 0);
}

void TestStorms::closeButtonDuringAStream()
{
    DeviceConfig config;
    config.statusRateHz = 2000;
    config.valueRateHz = 500;
    EmulatedDevice device(backend, config);
    device.attach();
    StormWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(window.currentReader() && window.currentReader()->isRunning());
    device.unplug();
    device.plug();
    QTRY_COMPARE(window.findChildren<USBThread *>().size(), 2);

    // The close button: the read handle is closed and the readers told to stop;
    // the process would end here.
    window.on_toolButton_4_clicked();
    QCOMPARE(window.exitCode, 0);
    QCOMPARE(window.link().readHandle, hidplatform::InvalidHandle);
    for (USBThread *reader : window.findChildren<USBThread *>())
        QTRY_VERIFY(reader->isFinished());
    QCOMPARE(backend.openReadHandles(&device), 0);
}

QTEST_MAIN(TestStorms)
#include "tst_storms.moc"
