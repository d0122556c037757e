// The updater's reader and window under storms: readers started, stopped and joined,
// a hundred replugs under a report stream, the window closed mid-read. Each case must
// end with every thread it started gone.

#include "updaterfixture.h"
#include <emulator/emulateddevice.h>
#include <flash/usbevent.h>
#include <flash/usbthread.h>
#include <hidlink/hidlink.h>

#include <QLoggingCategory>
#include <QPointer>
#include <QtTest>
#include <memory>
#include <thread>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {

// A report with report id 0x80 that no handler of the updater acts on: it is counted
// to prove that a report is posted once, not once per reader.
constexpr std::uint8_t MarkerClass = 0x77;
const std::vector<std::uint8_t> marker{0x80, MarkerClass, 0x01};

DeviceConfig streaming(int statusRateHz, int valueRateHz)
{
    DeviceConfig config;
    config.statusRateHz = statusRateHz;
    config.valueRateHz = valueRateHz;
    return config;
}

class EventCounter : public QObject
{
public:
    int reports = 0;
    int markers = 0;
    QByteArray last;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == USBEvent::EventType) {
            ++reports;
            last = static_cast<USBEvent *>(event)->data;
            markers += static_cast<USBEvent *>(event)->data.at(1) == char(MarkerClass) ? 1 : 0;
        }
        return false;
    }
};

struct Bench
{
    explicit Bench(hidplatform::EmulatedBackend &backend, DeviceConfig config = DeviceConfig())
        : backend(backend), device(backend, config)
    {
        device.attach();
        sink.installEventFilter(&counter);
    }
    std::unique_ptr<USBThread> reader()
    {
        auto thread =
            std::make_unique<USBThread>(backend, &sink, link.readHandle(), link.deviceFound());
        thread->StopOrStart(true);
        return thread;
    }
    hidplatform::EmulatedBackend &backend;
    EmulatedDevice device;
    HidLink link{backend, 0x0483, 0x0526};
    EventCounter counter;
    QObject sink;
};

} // namespace

class TestStorms : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void readerStartStopJoin_data();
    void readerStartStopJoin();
    void readerReadsOnlyWhileRunningWithAHandle();
    void plugStormWithUpdaterWindow();
    void closingDuringARead_data();
    void closingDuringARead();

private:
    hidplatform::EmulatedBackend backend;
    int baselineThreads = 0;
};

void TestStorms::initTestCase()
{
    Q_INIT_RESOURCE(updater);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QLoggingCategory::setFilterRules(QStringLiteral("rivet.hid.debug=false"));
    if (threadsInProcess() < 0)
        QSKIP("threads are counted through /proc");
    // A first window brings up what Qt keeps for the rest of the run.
    {
        TestWindow warmUp(backend);
        warmUp.show();
        QVERIFY(QTest::qWaitForWindowExposed(&warmUp));
    }
    QCoreApplication::processEvents();
    baselineThreads = threadsInProcess();
}

void TestStorms::cleanup()
{
    QTRY_COMPARE(threadsInProcess(), baselineThreads);
}

void TestStorms::readerStartStopJoin_data()
{
    QTest::addColumn<bool>("waitForRunning");
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("joined as it starts") << false << false;
    QTest::newRow("stopped, then joined while reading") << true << true;
}

void TestStorms::readerStartStopJoin()
{
    QFETCH(bool, waitForRunning);
    QFETCH(bool, stopFirst);
    Bench bench(backend, streaming(2000, 500));
    QCOMPARE(bench.link.OpenUSBHandle(), 0);
    for (int i = 0; i < 100; ++i) {
        std::unique_ptr<USBThread> reader = bench.reader();
        reader->start();
        if (waitForRunning)
            QTRY_VERIFY(reader->isRunning());
        if (stopFirst)
            reader->StopOrStart(false);
        reader.reset(); // joins, whatever the reader was doing
    }
    std::unique_ptr<USBThread> last = bench.reader();
    last->start();
    const int before = bench.counter.reports;
    QTRY_VERIFY(bench.counter.reports > before);
    last->finish();
    QVERIFY(last->isFinished());
}

void TestStorms::readerReadsOnlyWhileRunningWithAHandle()
{
    Bench bench(backend);
    bench.reader(); // joins a thread that never ran

    // Without a handle it waits (on its gate, not in a loop) until it is stopped.
    std::unique_ptr<USBThread> waiting = bench.reader();
    waiting->start();
    QTest::qWait(50);
    QVERIFY(waiting->isRunning());
    waiting->StopOrStart(false);
    QTRY_VERIFY_WITH_TIMEOUT(waiting->isFinished(), 1000);

    bench.link.OpenUSBHandle();

    std::unique_ptr<USBThread> stopped = bench.reader();
    stopped->StopOrStart(false);
    bench.device.sendReport(EmulatedDevice::statusReport(0x1234, true, true));
    bench.device.sendReport(marker);
    stopped->start();
    QTRY_VERIFY(stopped->isFinished());
    QCoreApplication::processEvents();
    QCOMPARE(bench.counter.reports, 0);

    // The reports it left are there for the next reader, which drops the status report
    // and posts report 0x80 whole. A failed open hands over no handle: the
    // reader keeps the one it has.
    std::unique_ptr<USBThread> reader = bench.reader();
    reader->Slot_init(&bench.sink, hidplatform::InvalidHandle, false);
    reader->start();
    QTRY_COMPARE(bench.counter.markers, 1);
    QCOMPARE(bench.counter.last, QByteArray("\x80\x77\x01", 3) + QByteArray(17, '\0'));
    reader->finish();
    QVERIFY(reader->isFinished());
    // Finished for good: neither a new start nor StopOrStart brings it back to reading.
    reader->StopOrStart(true);
    reader->start();
    QVERIFY(reader->wait(5000));
    bench.device.sendReport(marker);
    QTest::qWait(20);
    QCOMPARE(bench.counter.reports, 1);
}

void TestStorms::plugStormWithUpdaterWindow()
{
    // The window abandons the replaced reader on each replug without joining it.
    EmulatedDevice device(backend, streaming(2000, 200));
    device.attach();
    ModalHand hand; // none is expected: a box fails the test instead of hanging it
    auto window = std::make_unique<TestWindow>(backend);
    EventCounter events;
    window->findChild<flash::UpdateSession *>()->installEventFilter(&events);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTRY_VERIFY(events.reports > 0);

    QVERIFY(replugStorm(device, [&] { return events.reports; }));
    QTRY_VERIFY(window->currentReader() && window->currentReader()->isRunning());
    // Every arrival was handled once, and every reader it replaced has gone.
    QTRY_COMPARE(window->findChildren<USBThread *>().size(), 1);
    QCOMPARE(backend.openReadHandles(&device), 1);
    QVERIFY(window->link().deviceFound());

    const int markersBefore = events.markers;
    device.sendReport(marker);
    QTRY_COMPARE(events.markers, markersBefore + 1);
    QTest::qWait(20);
    QCOMPARE(events.markers, markersBefore + 1);
    QVERIFY(hand.boxes.isEmpty());

    QPointer<ReaderThread> current = window->currentReader();
    window.reset();
    QVERIFY(current.isNull());
    QCOMPARE(backend.openReadHandles(&device), 0);
}

void TestStorms::closingDuringARead_data()
{
    QTest::addColumn<int>("statusRateHz");
    QTest::addColumn<int>("valueRateHz");
    QTest::addColumn<bool>("withAbandonedReader");
    QTest::addColumn<bool>("closeButton");
    QTest::newRow("silent device") << 0 << 0 << false << false;
    QTest::newRow("replies pending delivery") << 0 << 2000 << false << false;
    QTest::newRow("beside an abandoned reader") << 2000 << 500 << true << false;
    QTest::newRow("close button, beside an abandoned reader") << 2000 << 500 << true << true;
}

void TestStorms::closingDuringARead()
{
    QFETCH(int, statusRateHz);
    QFETCH(int, valueRateHz);
    QFETCH(bool, withAbandonedReader);
    QFETCH(bool, closeButton);
    EmulatedDevice device(backend, streaming(statusRateHz, valueRateHz));
    device.attach();
    ModalHand hand;
    auto *window = new TestWindow(backend);
    QTRY_VERIFY(window->currentReader() && window->currentReader()->isRunning());
    if (withAbandonedReader) {
        // The reader a replug replaced may still be on its way out.
        const QPointer<ReaderThread> first = window->currentReader();
        device.unplug();
        device.plug();
        QTRY_VERIFY(window->currentReader() && window->currentReader() != first);
    }
    if (closeButton) {
        // The read handle is closed and the readers stopped before the process would
        // end here, so that none runs while its statics are destroyed.
        window->on_toolButton_4_clicked();
        QCOMPARE(window->exitCode, 0);
        QCOMPARE(window->link().readHandle(), hidplatform::InvalidHandle);
        // A finished reader may be deleted while this waits for the others.
        QList<QPointer<USBThread>> readers;
        for (USBThread *reader : window->findChildren<USBThread *>())
            readers << reader;
        for (const QPointer<USBThread> &reader : readers)
            QTRY_VERIFY(!reader || reader->isFinished());
        QCOMPARE(backend.openReadHandles(&device), 0);
    } else {
        // The event loop does not run: reports pile up as posted events, and the
        // reader is in its read or posting the next one when the window goes.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (withAbandonedReader)
            window->close(); // what Alt+F4 does
    }
    QPointer<ReaderThread> current = window->currentReader();
    delete window;
    QVERIFY(current.isNull());
    QCOMPARE(backend.openReadHandles(&device), 0);
    QCoreApplication::processEvents();
    QVERIFY(hand.boxes.isEmpty());
}

QTEST_MAIN(TestStorms)
#include "tst_storms.moc"
