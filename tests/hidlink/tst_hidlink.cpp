// The device link against the emulated device: discovery, the writer's results and
// its pending rule, and the notification bridge.
#include "deviceidentity.h"
#include "devicenotifier.h"
#include "emulateddevice.h"
#include "hidlink.h"

#include <QSignalSpy>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

class TestHidLink : public QObject
{
    Q_OBJECT
private slots:
    void init() { hidplatform::setBackend(&backend); }
    void cleanup() { hidplatform::setBackend(nullptr); }

    void idTexts();
    void pathDigits_data();
    void pathDigits();
    void discoveryTakesFirstMatchAndSkipsOtherProducts();
    void noDeviceFound();
    void sendResults();
    void refusedWriteStaysPendingUntilReopen();
    void featureReportLength_data();
    void featureReportLength();
    void writeHandleThatCannotBeOpened();
    void notificationsArriveOnTheGuiThread();

private:
    static const std::uint8_t *command()
    {
        static const std::uint8_t bytes[11] = {0x80, 0x03, 0x01};
        return bytes;
    }
    hidplatform::EmulatedBackend backend;
};

void TestHidLink::idTexts()
{
    QCOMPARE(deviceidentity::idText(0x0483), QStringLiteral("0483"));
    QCOMPARE(deviceidentity::idText(0x0526), QStringLiteral("0526"));
}

void TestHidLink::pathDigits_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("matches");
    QTest::newRow("windows upper case")
        << "\\\\?\\HID#VID_0483&PID_0526#7&2f1c5a3&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}"
        << true;
    QTest::newRow("lower case") << "\\\\?\\hid#vid_0483&pid_0526#7&2f1c&0&0000" << true;
    QTest::newRow("other product") << "hid#vid_0483&pid_0527#1" << false;
    QTest::newRow("other vendor") << "hid#vid_0484&pid_0526#1" << false;
    // Digits are compared exactly: upper-case hex digits are another text.
    QTest::newRow("upper-case digits") << "hid#vid_048A&pid_0526" << false;
    QTest::newRow("no ids") << "hid#something&else#0526" << false;
    QTest::newRow("cut short") << "hid#vid_04" << false;
    QTest::newRow("empty") << "" << false;
}

void TestHidLink::pathDigits()
{
    QFETCH(QString, path);
    QFETCH(bool, matches);
    QCOMPARE(deviceidentity::pathMatches(path, "0483", "0526"), matches);
}

void TestHidLink::discoveryTakesFirstMatchAndSkipsOtherProducts()
{
    DeviceConfig other;
    other.productId = 0x0527;
    DeviceConfig first;
    first.path = "hid#vid_0483&pid_0526#first";
    DeviceConfig second;
    second.path = "hid#vid_0483&pid_0526#second";
    EmulatedDevice a(backend, other), b(backend, first), c(backend, second);
    a.attach();
    b.attach();
    c.attach();

    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    QVERIFY(link.deviceFound);
    QCOMPARE(link.devicePath, std::string("hid#vid_0483&pid_0526#first"));
    QVERIFY(link.readHandle != hidplatform::InvalidHandle);
    QVERIFY(link.writeHandle != hidplatform::InvalidHandle);
    QCOMPARE(int(link.hidCaps.featureReportByteLength), 64);
    QCOMPARE(backend.openReadHandles(&b), 1);
    QCOMPARE(backend.openReadHandles(&a), 0);
    QCOMPARE(backend.openReadHandles(&c), 0);
}

void TestHidLink::noDeviceFound()
{
    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), -1);
    QVERIFY(!link.deviceFound);
    QCOMPARE(link.readHandle, hidplatform::InvalidHandle);
    HidLink::Refusal why;
    QCOMPARE(link.SendDataToUsb(command(), &why), -1);
    QCOMPARE(why, HidLink::Refusal::DeviceNotFound);
}

void TestHidLink::sendResults()
{
    EmulatedDevice device(backend);
    device.attach();
    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);

    HidLink::Refusal why;
    QCOMPARE(link.SendDataToUsb(command(), &why), 1);
    QCOMPARE(why, HidLink::Refusal::None);
    QVERIFY(!link.sendBusy);

    device.refuseFeatures(true);
    QCOMPARE(link.SendDataToUsb(command(), &why), 0);
    QVERIFY(link.sendBusy);
    QCOMPARE(int(device.featureReports().size()), 2);
}

void TestHidLink::refusedWriteStaysPendingUntilReopen()
{
    EmulatedDevice device(backend);
    device.attach();
    HidLink link(0x0483, 0x0526);
    link.OpenUSBHandle();
    device.refuseFeatures(true);
    QCOMPARE(link.SendDataToUsb(command()), 0);
    device.refuseFeatures(false);

    // The driver is not called again while the write counts as pending.
    HidLink::Refusal why;
    QCOMPARE(link.SendDataToUsb(command(), &why), -1);
    QCOMPARE(why, HidLink::Refusal::WritePending);
    QCOMPARE(int(device.featureReports().size()), 1);

    // Opening the device again gives a fresh write handle with nothing pending.
    QCOMPARE(link.OpenUSBHandle(), 0);
    QCOMPARE(link.SendDataToUsb(command()), 1);
    QCOMPARE(int(device.featureReports().size()), 2);
}

void TestHidLink::featureReportLength_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("11") << 11;
    QTest::newRow("64") << 64;
    QTest::newRow("shorter than a command") << 4;
}

void TestHidLink::featureReportLength()
{
    QFETCH(int, length);
    DeviceConfig config;
    config.featureReportLength = static_cast<std::uint16_t>(length);
    EmulatedDevice device(backend, config);
    device.attach();
    HidLink link(0x0483, 0x0526);
    link.OpenUSBHandle();
    const std::uint8_t bytes[11] = {0x80, 0x0C, 0x54, 0x02, 5, 6, 7, 8, 9, 10, 11};
    QCOMPARE(link.SendDataToUsb(bytes), 1);

    std::vector<std::uint8_t> expected(bytes, bytes + std::min(length, 11));
    expected.resize(std::size_t(length), 0);
    QCOMPARE(device.featureReports().back(), expected);
    QCOMPARE(link.lastWriteLength, length);
}

void TestHidLink::writeHandleThatCannotBeOpened()
{
    DeviceConfig config;
    config.openableForWriting = false;
    EmulatedDevice device(backend, config);
    device.attach();
    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    QVERIFY(link.deviceFound);
    QCOMPARE(link.writeHandle, hidplatform::InvalidHandle);
    QVERIFY(link.hidCaps.featureReportByteLength > 0);
    HidLink::Refusal why;
    QCOMPARE(link.SendDataToUsb(command(), &why), -1);
    QCOMPARE(why, HidLink::Refusal::NoWriteHandle);
}

void TestHidLink::notificationsArriveOnTheGuiThread()
{
    DeviceNotifier notifier;
    QSignalSpy arrived(&notifier, &DeviceNotifier::arrived);
    QSignalSpy removed(&notifier, &DeviceNotifier::removed);
    EmulatedDevice device(backend);

    // Plugged in from another thread, as a system's notification thread would.
    std::thread([&] { device.plug(); }).join();
    QTRY_COMPARE(arrived.count(), 1);
    QVERIFY(deviceidentity::pathMatches(arrived.at(0).at(0).toString(), "0483", "0526"));
    device.unplug();
    QTRY_COMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).toString(), arrived.at(0).at(0).toString());
}

QTEST_GUILESS_MAIN(TestHidLink)
#include "tst_hidlink.moc"
