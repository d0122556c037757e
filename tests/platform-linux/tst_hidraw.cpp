// The Linux backend, the link's writer and the monitor's reader against hidraw nodes
// emulated by umockdev: what HIDIOCSFEATURE carries, input reports, reads ended by
// cancel, close and unplug, opens guarded and retried after an arrival.

#include "hidrawtestbed.h"
#include <gauges/progressbarcolor.h>
#include <hidlink/hidlink.h>
#include <monitor/mainwindow.h>
#include <monitor/usbthread.h>

#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace hidplatform;

Q_DECLARE_METATYPE(Bytes)

namespace {

struct ReadOutcome
{
    ReadResult result = ReadResult::TimedOut;
    Bytes data;
};

// Long enough for any machine; a read that ends on its own gives TimedOut instead.
constexpr int blockingTimeoutMs = 20000;

// A read on its own thread, as the tools' reader threads do it, while `meanwhile`
// runs here.
ReadOutcome readWhile(Handle handle, int timeoutMs, const std::function<void()> &meanwhile = {})
{
    std::future<ReadOutcome> read = std::async(std::launch::async, [=] {
        ReadOutcome outcome;
        std::uint8_t buffer[20] = {};
        std::size_t n = 0;
        outcome.result = nativeBackend().read(handle, buffer, sizeof buffer, timeoutMs, &n);
        outcome.data.assign(buffer, buffer + n);
        return outcome;
    });
    if (meanwhile)
        meanwhile();
    if (read.wait_for(std::chrono::milliseconds(timeoutMs + 5000)) != std::future_status::ready)
        qFatal("a read never ended");
    return read.get();
}

// How a read blocked in the kernel (given 200 ms to get there) ends after `action`.
ReadResult blockedReadAfter(Handle handle, const std::function<void()> &action)
{
    return readWhile(handle, blockingTimeoutMs,
                     [&] {
                         QTest::qWait(200);
                         action();
                     })
        .result;
}

} // namespace

class TestHidraw : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!HidrawTestbed::preloaded())
            QSKIP(HidrawTestbed::NoPreload);
    }
    void cleanup() { QVERIFY(testbed.unplugAll()); }

    void sendsTheCommandAndThePadding_data();
    void sendsTheCommandAndThePadding();
    void inputReportsAndBlockedReadsEnd();
    void openRetriedAfterArrival();
    void monitorPausesOnRemovalAndResumesOnArrival();

private:
    HidrawTestbed testbed;
};

void TestHidraw::sendsTheCommandAndThePadding_data()
{
    QTest::addColumn<int>("featureLength");
    QTest::addColumn<Bytes>("command"); // the first 11 bytes are the command

    // Whatever follows the command in the caller's buffer is not the device's. (Reports
    // of 11 bytes, the command exactly, carry a whole update in tst_hidrawupdater.)
    Bytes query = padded({0x80, 0x03, 0x01}, 11);
    query.resize(64, 0xEE);
    const Bytes values{0x80, 0x03, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x0C, 0xFF, 0x0F, 0xEE};
    QTest::newRow("version query, 64") << 64 << query;
    QTest::newRow("set values, 8") << 8 << values;
}

void TestHidraw::sendsTheCommandAndThePadding()
{
    QFETCH(int, featureLength);
    QFETCH(Bytes, command);
    NodeConfig config;
    config.featureLength = std::uint16_t(featureLength);
    HidrawNode *node = testbed.plug(config);
    QVERIFY(node);

    HidLink link(nativeBackend(), 0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    QCOMPARE(link.devicePath(), node->path);
    QCOMPARE(int(link.caps().featureReportByteLength), featureLength);
    QCOMPARE(int(link.caps().inputReportByteLength), 20);

    QCOMPARE(link.SendDataToUsb(command.data()), 1);
    // A device with shorter feature reports than the commands sees them cut.
    const Bytes head(command.begin(),
                     command.begin() +
                         std::min<std::size_t>(featureLength, std::size_t(reportlengths::Command)));
    QCOMPARE(node->featureReports(), std::vector<Bytes>{padded(head, std::size_t(featureLength))});
}

void TestHidraw::inputReportsAndBlockedReadsEnd()
{
    HidrawNode *node = testbed.plug();
    QVERIFY(node);
    const Handle reader = nativeBackend().openRead(node->path);
    const Handle writer = nativeBackend().openWrite(node->path);
    QVERIFY(reader != InvalidHandle && writer != InvalidHandle);

    for (const std::uint8_t reportId : {0x80, 0x01}) {
        Bytes report(20, 0x5A);
        report[0] = reportId;
        const ReadOutcome outcome =
            readWhile(reader, blockingTimeoutMs, [&] { node->model().sendReport(report); });
        QCOMPARE(outcome.result, ReadResult::Ok);
        QCOMPARE(outcome.data, report);
    }
    QCOMPARE(readWhile(reader, 100).result, ReadResult::TimedOut);

    // Feature reports go out through the write side only, and never empty.
    const Bytes query = padded({0x80, 0x03, 0x01}, 64);
    QVERIFY(!nativeBackend().setFeature(reader, query.data(), query.size()));
    QVERIFY(!nativeBackend().setFeature(writer, query.data(), 0));

    // A read blocked in the kernel ends at once, long before its own time-out, by a
    // cancel, a close or the device going; each ends as a failed read.
    QCOMPARE(blockedReadAfter(reader, [&] { nativeBackend().cancelRead(reader); }),
             ReadResult::Failed);
    // A cancel that comes first ends the next read, and only that one.
    nativeBackend().cancelRead(reader);
    QCOMPARE(readWhile(reader, blockingTimeoutMs).result, ReadResult::Failed);
    const Bytes report = padded({0x80, 0x0A}, 20);
    QCOMPARE(readWhile(reader, blockingTimeoutMs, [&] { node->model().sendReport(report); }).data,
             report);

    QCOMPARE(blockedReadAfter(reader, [&] { nativeBackend().close(reader); }), ReadResult::Failed);
    QCOMPARE(readWhile(reader, 100).result, ReadResult::Failed);
    const Handle again = nativeBackend().openRead(node->path);
    QVERIFY(again != InvalidHandle && again != reader);

    bool unplugged = false;
    QCOMPARE(blockedReadAfter(again, [&] { unplugged = testbed.unplug(node); }),
             ReadResult::Failed);
    QVERIFY(unplugged);
    // HIDIOCSFEATURE and the descriptor fail now; the link counts the write as refused.
    QVERIFY(!nativeBackend().setFeature(writer, query.data(), query.size()));
    Caps caps;
    QVERIFY(!nativeBackend().caps(writer, &caps));
    for (const DeviceInfo &device : nativeBackend().enumerate())
        QVERIFY(device.path != node->path);
    nativeBackend().close(again);
    nativeBackend().close(writer);
    QVERIFY(!nativeBackend().setFeature(writer, query.data(), query.size()));
}

void TestHidraw::openRetriedAfterArrival()
{
    const auto touch = [](const std::string &path) {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        return fd >= 0 && ::close(fd) == 0;
    };
    // Nothing but a hidraw node is opened, even where the path leads to a file.
    const std::string devDir = testbed.root() + "/dev";
    ::mkdir(devDir.c_str(), 0755);
    ::mkdir((devDir + "/hidrawdir").c_str(), 0755);
    QVERIFY(touch(devDir + "/secret"));
    QCOMPARE(nativeBackend().openRead("/dev/hidrawdir/../secret#vid_0483&pid_0526"), InvalidHandle);
    QCOMPARE(nativeBackend().openRead("/dev/null"), InvalidHandle);
    // A node that has not appeared and did not just arrive is not waited for.
    QCOMPARE(nativeBackend().openWrite("/dev/hidraw99#vid_0483&pid_0526"), InvalidHandle);

    // udev announces the device before its node can be opened.
    NodeConfig config;
    config.withNode = false;
    HidrawNode *node = testbed.plug(config);
    QVERIFY(node);
    std::future<Handle> opening =
        std::async(std::launch::async, [&] { return nativeBackend().openWrite(node->path); });
    QTest::qWait(150);
    QVERIFY(touch(devDir + node->node.substr(4)));
    const Handle handle = opening.get();
    QVERIFY(handle != InvalidHandle);
    nativeBackend().close(handle);
}

void TestHidraw::monitorPausesOnRemovalAndResumesOnArrival()
{
    HidrawNode *first = testbed.plug();
    QVERIFY(first);
    monitor::MainWindow window(nativeBackend());
    const auto bar = [&] { return window.findChild<ProgressBarColor *>("Bar")->getValue(); };
    monitor::USBThread *reader = window.findChild<monitor::USBThread *>();
    QVERIFY(reader && reader->isRunning());
    first->model().sendReport(emulator::EmulatedDevice::statusReport(100, false, false));
    QTRY_COMPARE(bar(), 100.0);

    // The device goes while the reader waits for a report: hidraw ends that read.
    first->fail();
    QTRY_VERIFY(first->failedReads() >= 1);
    // udev's removal pauses the reader: it stays, and reads nothing more.
    QVERIFY(testbed.unplug(first));
    QVERIFY(reader->isRunning());
    const int reads = first->reads();
    QTest::qWait(300);
    QCOMPARE(first->reads(), reads);

    HidrawNode *second = testbed.plug();
    QVERIFY(second);
    QCOMPARE(window.findChildren<monitor::USBThread *>(), QList<monitor::USBThread *>{reader});
    second->model().sendReport(emulator::EmulatedDevice::statusReport(2500, false, true));
    QTRY_COMPARE(bar(), 2500.0);
    QTRY_COMPARE(window.findChild<QWidget *>("LED6")->styleSheet(),
                 QStringLiteral("border-image: url(://LED1);"));
    QVERIFY(second->featureReports().empty());
}

QTEST_MAIN(TestHidraw)
#include "tst_hidraw.moc"
