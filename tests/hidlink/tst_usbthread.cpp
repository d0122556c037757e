// The updater's reader against the emulated device: what it posts, how it waits and
// how it ends.
#include "emulateddevice.h"
#include "hidlink.h"
#include "usbevent.h"
#include "usbthread.h"

#include <QtTest>

class ReportSink : public QObject
{
public:
    QList<QByteArray> reports;

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() == USBEvent::EventType)
            reports.append(static_cast<USBEvent *>(event)->data);
    }
};

class TestUsbThread : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        hidplatform::setBackend(&backend);
        device.reset(new emulator::EmulatedDevice(backend));
        device->attach();
    }
    void cleanup()
    {
        device.reset();
        hidplatform::setBackend(nullptr);
    }

    void postsOnlyReportId0x80WithAllBytes();
    void removalWhileReadingEndsTheReader();
    void invalidHandleKeepsEarlierOne();
    void waitsWithoutDeviceAndEndsWhenStopped();
    void destructionEndsAReaderBlockedInARead();

private:
    hidplatform::EmulatedBackend backend;
    std::unique_ptr<emulator::EmulatedDevice> device;
};

void TestUsbThread::postsOnlyReportId0x80WithAllBytes()
{
    HidLink link(0x0483, 0x0526);
    link.OpenUSBHandle();
    ReportSink sink;
    USBThread reader(&sink, link.readHandle, link.deviceFound);
    reader.StopOrStart(true);
    reader.start();

    device->sendReport(emulator::EmulatedDevice::statusReport(0x1234, true, true));
    device->sendReport({0x80, 0x0C, 0x55});
    QTRY_COMPARE(sink.reports.size(), 1);
    QByteArray expected(20, '\0');
    expected[0] = char(0x80);
    expected[1] = 0x0C;
    expected[2] = 0x55;
    QCOMPARE(sink.reports.at(0), expected);
    // The status report before it was dropped, not merely delayed.
    QTest::qWait(50);
    QCOMPARE(sink.reports.size(), 1);
}

void TestUsbThread::removalWhileReadingEndsTheReader()
{
    HidLink link(0x0483, 0x0526);
    link.OpenUSBHandle();
    ReportSink sink;
    USBThread reader(&sink, link.readHandle, link.deviceFound);
    reader.StopOrStart(true);
    reader.start();
    QTest::qWait(30); // the reader is now blocked in its read

    device->unplug();
    reader.StopOrStart(false);
    link.closeReadHandle();
    QTRY_VERIFY_WITH_TIMEOUT(reader.isFinished(), 1000);
}

void TestUsbThread::invalidHandleKeepsEarlierOne()
{
    HidLink link(0x0483, 0x0526);
    link.OpenUSBHandle();
    ReportSink sink;
    USBThread reader(&sink, link.readHandle, true);
    reader.Slot_init(&sink, hidplatform::InvalidHandle, false);
    reader.StopOrStart(true);
    reader.start();
    device->sendReport({0x80, 0x0A});
    QTRY_COMPARE(sink.reports.size(), 1);
}

void TestUsbThread::waitsWithoutDeviceAndEndsWhenStopped()
{
    ReportSink sink;
    USBThread reader(&sink, hidplatform::InvalidHandle, false);
    reader.StopOrStart(true);
    reader.start();
    device->sendReport({0x80, 0x0A});
    QTest::qWait(50);
    QVERIFY(reader.isRunning());
    QVERIFY(sink.reports.isEmpty());
    reader.StopOrStart(false);
    QTRY_VERIFY_WITH_TIMEOUT(reader.isFinished(), 1000);
}

void TestUsbThread::destructionEndsAReaderBlockedInARead()
{
    HidLink link(0x0483, 0x0526);
    link.OpenUSBHandle();
    ReportSink sink;
    auto *reader = new USBThread(&sink, link.readHandle, true);
    reader->StopOrStart(true);
    reader->start();
    QTest::qWait(30);
    QElapsedTimer clock;
    clock.start();
    delete reader; // joins: no "destroyed while running" abort
    QVERIFY2(clock.elapsed() < 1000, "the pending read was not ended");
}

QTEST_GUILESS_MAIN(TestUsbThread)
#include "tst_usbthread.moc"
