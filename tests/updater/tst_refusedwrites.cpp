// A write the driver refuses during the last ARM window: that window goes out without
// waiting for a reply, so only the window's own record of the failed write stands
// between the user and a completion box for an image the device never got whole.
#include "emulateddevice.h"
#include "updaterfixture.h"

#include <QToolButton>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

class TestRefusedWrites : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(updater); }
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        hidplatform::setBackend(&backend);
    }
    void cleanup() { hidplatform::setBackend(nullptr); }

    void lastWindow_data();
    void lastWindow();

private:
    hidplatform::EmulatedBackend backend;
    QTemporaryDir dir;
};

void TestRefusedWrites::lastWindow_data()
{
    QTest::addColumn<int>("refuseFromPacket");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("armPacketsReceived");
    // One DSP packet (data packet 0), then 30 ARM packets: a window of 25 and a last
    // window of 5 (data packets 26 to 30).
    QTest::newRow("nothing refused")
        << -1 << "Update Complete!\nClick OK to close the software!" << 30;
    QTest::newRow("third packet of the last window") << 28 << "Error 4" << 27;
    QTest::newRow("the very last packet") << 30 << "Error 4" << 29;
}

void TestRefusedWrites::lastWindow()
{
    QFETCH(int, refuseFromPacket);
    QFETCH(QString, box);
    QFETCH(int, armPacketsReceived);
    DeviceConfig config;
    config.refuseFromPacket = refuseFromPacket;
    EmulatedDevice device(backend, config);
    device.attach();
    TestWindow window;
    QVERIFY(spinUntil([&] { return window.deviceVersionValue() != 0; }, 3000));
    ModalHand hand;
    hand.files << writeFile(dir, "image.fw", firmwareBytes(8, 1250, 240));
    QTest::mouseClick(window.findChild<QToolButton *>("TBFlush"), Qt::LeftButton);
    QVERIFY(window.findChild<QToolButton *>("toolButton_2")->isEnabled());

    QTest::mouseClick(window.findChild<QToolButton *>("toolButton_2"), Qt::LeftButton);
    // 2500 ticks of 2 ms for the time-out, with room to spare.
    QVERIFY(spinUntil([&] { return !hand.boxes.isEmpty(); }, 12000));
    QCOMPARE(hand.texts(), QStringList{box});
    QCOMPARE(int(device.armImage().size()) / 8, armPacketsReceived);
    const bool completed = refuseFromPacket < 0;
    QCOMPARE(device.armEndReceived(), completed);
    QCOMPARE(window.exitCode, completed ? 0 : -1);
}

QTEST_MAIN(TestRefusedWrites)
#include "tst_refusedwrites.moc"
