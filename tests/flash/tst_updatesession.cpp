// The update protocol without a window: UpdateSession on a DeviceConnection to the
// emulated device, at the device's pace but with short time-outs. Every error number,
// refused writes, a second start, and the lock that keeps a second writer out.
#include "testsupport.h"
#include <emulator/emulateddevice.h>
#include <flash/deviceconnection.h>
#include <flash/updatesession.h>
#include <hidlink/deviceids.h>

#include <QSignalSpy>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;
using flash::DeviceConnection;
using flash::UpdateSession;
using Started = UpdateSession::StartResult;

Q_DECLARE_METATYPE(DeviceConfig)

namespace {

// A stage gives up after 75 ticks of 2 ms, the watchdog after ten of its 15 ms.
const flash::Timing Hasty{2, 75, 15, 10, 0};
constexpr int WaitMs = 5000;

// 25 DSP packets (one window), then 30 ARM packets (a window of 25 and one of 5).
const QByteArray Image = firmwareBytes(200, 1250, 240);

int packets(const EmulatedDevice &device)
{
    int n = 0;
    for (const auto &report : device.featureReports())
        n += report.size() > 1 && (report[1] == 0x0D || report[1] == 0x0E);
    return n;
}

QByteArray received(const EmulatedDevice &device)
{
    std::vector<std::uint8_t> bytes = device.dspImage();
    const std::vector<std::uint8_t> arm = device.armImage();
    bytes.insert(bytes.end(), arm.begin(), arm.end());
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

DeviceConfig with(void (*change)(DeviceConfig &))
{
    DeviceConfig config;
    change(config);
    return config;
}

// One program's side: its connection and the session on it.
struct Host
{
    explicit Host(hidplatform::Backend &backend)
        : connection(backend, deviceids::VendorId, deviceids::ProductId),
          session(connection, Hasty), failed(&session, &UpdateSession::failed),
          completed(&session, &UpdateSession::completed),
          refused(&session, &UpdateSession::writeRefused)
    {
        connection.setListener(&session);
        connection.open();
    }
    // The reader posts to the session: it ends before the session goes.
    ~Host() { connection.closeReading(); }
    Started start() { return session.start(Image, 16 + 200); }
    bool ended() const { return !failed.isEmpty() || !completed.isEmpty(); }

    DeviceConnection connection;
    UpdateSession session;
    QSignalSpy failed;
    QSignalSpy completed;
    QSignalSpy refused;
};

} // namespace

class TestUpdateSession : public QObject
{
    Q_OBJECT
private slots:
    void failures_data();
    void failures();
    void refusedWrites_data();
    void refusedWrites();
    void secondStartBeginsAfresh();
    void repliesOfNoUpdateOfOursAreIgnored();
    void oneWriterPerDevice();

private:
    hidplatform::EmulatedBackend backend;
};

void TestUpdateSession::failures_data()
{
    QTest::addColumn<DeviceConfig>("config");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("packetsSent");
    QTest::newRow("complete") << DeviceConfig() << 0 << 55;
    QTest::newRow("no U: the watchdog's ten ticks")
        << with([](DeviceConfig &c) { c.answerEnterUpdate = false; }) << 1 << 0;
    QTest::newRow("no V at all") << with([](DeviceConfig &c) { c.dspAcks = 0; }) << 2 << 0;
    QTest::newRow("no V after DSP end") << with([](DeviceConfig &c) { c.dspAcks = 1; }) << 4 << 25;
    QTest::newRow("no V after DSP end, Y seen") << with([](DeviceConfig &c) {
        c.dspAcks = 1;
        c.confirmOnDspEnd = true;
    }) << 2 << 25;
    QTest::newRow("no T") << with([](DeviceConfig &c) { c.armAcks = 0; }) << 5 << 25;
    // A refused write leaves the writer pending: the stage runs into its time-out, and
    // a failed write in the last window, which needs no reply, is not called complete.
    QTest::newRow("refused from packet 10")
        << with([](DeviceConfig &c) { c.refuseFromPacket = 10; }) << 4 << 11;
    QTest::newRow("refused in the last window")
        << with([](DeviceConfig &c) { c.refuseFromPacket = 52; }) << 4 << 53;
    QTest::newRow("pulled out in the ARM stage")
        << with([](DeviceConfig &c) { c.unplugAtPacket = 30; }) << 5 << 31;
}

void TestUpdateSession::failures()
{
    QFETCH(DeviceConfig, config);
    QFETCH(int, error);
    QFETCH(int, packetsSent);
    EmulatedDevice device(backend, config);
    device.attach();
    Host host(backend);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(host.start(), Started::Started);
    QVERIFY(spinUntil([&] { return host.ended(); }, WaitMs));
    if (error == 0)
        QCOMPARE(received(device), Image.mid(16));
    QCOMPARE(host.completed.size(), error == 0 ? 1 : 0);
    QCOMPARE(host.failed.size(), error == 0 ? 0 : 1);
    if (error != 0)
        QCOMPARE(host.failed.first().first().toInt(), error);
    if (error == 1)
        QVERIFY2(clock.elapsed() >= 9 * Hasty.watchdogIntervalMs, "the watchdog gave up early");
    QCOMPARE(packets(device), packetsSent);
    QVERIFY(!host.session.running());
    // An ended update sends nothing more and reports nothing more, and the device is
    // free for the next writer.
    const std::size_t sent = device.featureReports().size();
    spinUntil([] { return false; }, 250);
    QCOMPARE(device.featureReports().size(), sent);
    QCOMPARE(host.failed.size() + host.completed.size(), 1);
    QVERIFY(!host.connection.updateLockedElsewhere());
    Host next(backend);
    QVERIFY(!next.connection.updateLockedElsewhere());
}

void TestUpdateSession::refusedWrites_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("refusal");
    QTest::newRow("no device") << false << int(HidLink::Refusal::DeviceNotFound);
    QTest::newRow("no write handle") << true << int(HidLink::Refusal::NoWriteHandle);
}

void TestUpdateSession::refusedWrites()
{
    QFETCH(bool, present);
    QFETCH(int, refusal);
    DeviceConfig config;
    config.openableForWriting = false;
    EmulatedDevice device(backend, config);
    if (present)
        device.attach();
    Host host(backend);
    // The refusal is told while the write is made (here a box open for 200 ms), and
    // the watchdog's ten ticks count from the moment the user has heard of it.
    connect(&host.session, &UpdateSession::writeRefused, this,
            [] { spinUntil([] { return false; }, 200); });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(host.start(), Started::Started);
    QCOMPARE(host.refused.size(), 1);
    QCOMPARE(host.refused.first().first().toInt(), refusal);
    QVERIFY(spinUntil([&] { return host.ended(); }, WaitMs));
    QCOMPARE(host.failed.first().first().toInt(), 1);
    QVERIFY(clock.elapsed() >= 200 + 9 * Hasty.watchdogIntervalMs);
    QVERIFY(device.featureReports().empty());
}

void TestUpdateSession::secondStartBeginsAfresh()
{
    EmulatedDevice device(backend);
    device.attach();
    Host host(backend);
    // The driver refuses the enter-update command: error 1, and the writer is left
    // pending until the device is opened again.
    device.refuseFeatures(true);
    QCOMPARE(host.start(), Started::Started);
    QCOMPARE(host.start(), Started::Running);
    QVERIFY(spinUntil([&] { return host.ended(); }, WaitMs));
    QCOMPARE(host.failed.first().first().toInt(), 1);

    device.refuseFeatures(false);
    QCOMPARE(host.connection.open(), 0);
    host.failed.clear();
    QCOMPARE(host.start(), Started::Started);
    QVERIFY(spinUntil([&] { return host.ended(); }, WaitMs));
    QCOMPARE(host.completed.size(), 1);
    QCOMPARE(received(device), Image.mid(16));
}

void TestUpdateSession::repliesOfNoUpdateOfOursAreIgnored()
{
    // "U", "V" and "T" as another program's update would bring them, then a version reply.
    DeviceConfig config;
    config.unsolicited = {
        {0, {0x80, 0x0C, 0x55}}, {10, {0x80, 0x0C, 0x56}}, {20, {0x80, 0x0C, 0x54}}};
    EmulatedDevice device(backend, config);
    Host host(backend);
    QSignalSpy versions(&host.session, &UpdateSession::versionReceived);
    device.plug();
    QVERIFY(spinUntil([&] { return host.connection.reader(); }, WaitMs));
    host.session.sendVersionQuery();
    QVERIFY(spinUntil([&] { return !versions.isEmpty(); }, WaitMs));
    spinUntil([] { return false; }, 300);
    QCOMPARE(device.featureReports().size(), std::size_t(1)); // the version query alone
    QVERIFY(!host.ended() && host.refused.isEmpty());
}

void TestUpdateSession::oneWriterPerDevice()
{
    EmulatedDevice device(backend);
    device.attach();
    Host first(backend);
    Host second(backend);
    QCOMPARE(first.start(), Started::Started);
    QVERIFY(second.connection.updateLockedElsewhere());
    QCOMPARE(second.start(), Started::DeviceBusy);
    HidLink::Refusal why = HidLink::Refusal::None;
    const std::uint8_t query[11] = {0x80, 0x03, 0x01};
    QCOMPARE(second.connection.send(query, &why), -1);
    QCOMPARE(why, HidLink::Refusal::DeviceBusy);
    QVERIFY(spinUntil([&] { return first.ended(); }, WaitMs));
    QCOMPARE(first.completed.size(), 1);
    // Enter update, DSP handshake, 25 packets, DSP end, ARM handshake, 30, ARM end.
    QCOMPARE(device.featureReports().size(), std::size_t(60));
    QCOMPARE(received(device), Image.mid(16));
    // Given back at the end: the second may update now.
    QCOMPARE(second.start(), Started::Started);
    second.session.stop();
}

QTEST_GUILESS_MAIN(TestUpdateSession)
#include "tst_updatesession.moc"
