// The link against the emulated device: discovery and a refused write. The writer's
// bytes are checked on hidraw (tst_hidraw), its refusals through the updater's window
// (tst_mainwindow), the reader in tst_storms.
#include <emulator/emulateddevice.h>
#include <hidlink/deviceidentity.h>
#include <hidlink/hidlink.h>

#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

const std::uint8_t query[11] = {0x80, 0x03, 0x01};

class TestHidLink : public QObject
{
    Q_OBJECT
private slots:

    void pathDigits_data();
    void pathDigits();
    void discoveryTakesFirstMatchAndSkipsOtherProducts();
    void refusedWriteStaysPendingUntilReopen();

private:
    hidplatform::EmulatedBackend backend;
};

void TestHidLink::pathDigits_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("matches");
    QTest::newRow("windows upper case") << "\\\\?\\HID#VID_0483&PID_0526#7&2f1c5a3&0&0000" << true;
    QTest::newRow("lower case") << "\\\\?\\hid#vid_0483&pid_0526#7&2f1c&0&0000" << true;
    QTest::newRow("other product") << "hid#vid_0483&pid_0527#1" << false;
    // Digits are compared exactly: upper-case hex digits are another text.
    QTest::newRow("upper-case digits") << "hid#vid_048A&pid_0526" << false;
    // Without "VID"/"PID" a not-found index must not become characters 3..6.
    QTest::newRow("no ids") << "hid#something&else#0526" << false;
    QTest::newRow("cut short") << "hid#vid_04" << false;
}

void TestHidLink::pathDigits()
{
    QFETCH(QString, path);
    QFETCH(bool, matches);
    QCOMPARE(deviceidentity::pathMatches(path, "0483", "0526"), matches);
}

void TestHidLink::discoveryTakesFirstMatchAndSkipsOtherProducts()
{
    DeviceConfig other, first, second;
    other.productId = 0x0527;
    first.path = "hid#vid_0483&pid_0526#first";
    second.path = "hid#vid_0483&pid_0526#second";
    EmulatedDevice a(backend, other), b(backend, first), c(backend, second);
    for (EmulatedDevice *device : {&a, &b, &c})
        device->attach();

    HidLink link(backend, 0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    QCOMPARE(link.devicePath(), first.path);
    QVERIFY(link.writeHandle() != hidplatform::InvalidHandle);
    QCOMPARE(int(link.caps().featureReportByteLength), 64);
    QCOMPARE(backend.openReadHandles(&a), 0);
    QCOMPARE(backend.openReadHandles(&b), 1);
    QCOMPARE(backend.openReadHandles(&c), 0);
}

void TestHidLink::refusedWriteStaysPendingUntilReopen()
{
    EmulatedDevice device(backend);
    device.attach();
    HidLink link(backend, 0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    QCOMPARE(link.SendDataToUsb(query), 1);
    device.refuseFeatures(true);
    QCOMPARE(link.SendDataToUsb(query), 0);
    device.refuseFeatures(false);

    // The driver is not called again while the write counts as pending.
    HidLink::Refusal why;
    QCOMPARE(link.SendDataToUsb(query, &why), -1);
    QCOMPARE(why, HidLink::Refusal::WritePending);
    QCOMPARE(int(device.featureReports().size()), 2);

    // Opening again clears the pending write (or one refusal silences the device
    // until a restart) and closes the earlier write handle (or one leaks per replug).
    const hidplatform::Handle earlier = link.writeHandle();
    QCOMPARE(link.OpenUSBHandle(), 0);
    QCOMPARE(link.SendDataToUsb(query), 1);
    QCOMPARE(int(device.featureReports().size()), 3);
    std::vector<std::uint8_t> report(64, 0);
    QVERIFY(!backend.setFeature(earlier, report.data(), report.size()));
}

QTEST_GUILESS_MAIN(TestHidLink)
#include "tst_hidlink.moc"
