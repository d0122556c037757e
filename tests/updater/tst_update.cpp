// Firmware updates end to end: the real window, the real file dialog, the emulated
// device's bootloader, and every way the device can fail to answer.
#include "emulateddevice.h"
#include "progressbarcolor.h"
#include "updaterfixture.h"
#include "usbthread.h"

#include <QLabel>
#include <QToolButton>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {

// A report as the device gets it: the command's bytes, zero-padded to 64.
QByteArray wire(const char *hex, const QByteArray &data = QByteArray())
{
    return (QByteArray::fromHex(hex) + data).leftJustified(64, '\0');
}

QList<QByteArray> received(const EmulatedDevice &device)
{
    QList<QByteArray> reports;
    for (const auto &report : device.featureReports())
        reports << QByteArray(reinterpret_cast<const char *>(report.data()), int(report.size()));
    return reports;
}

// How many reports the device got that start with these bytes.
int count(const EmulatedDevice &device, const char *hex)
{
    int n = 0;
    for (const QByteArray &report : received(device))
        n += report.startsWith(QByteArray::fromHex(hex));
    return n;
}

// A device with a fault or a habit of its own.
DeviceConfig with(void (*change)(DeviceConfig &))
{
    DeviceConfig config;
    change(config);
    return config;
}

// A stage gives up after 2500 ticks of 2 ms, the watchdog after 10 s: room to spare.
constexpr int StageTimeoutMs = 12000;
constexpr int WatchdogTimeoutMs = 16000;

} // namespace

Q_DECLARE_METATYPE(DeviceConfig)

class TestUpdate : public WindowTest
{
    Q_OBJECT
private slots:
    void fileTips_data();
    void fileTips();
    void fileTipsInChinese();
    void filesThatEnableNothing();
    void flashesCompletely_data();
    void flashesCompletely();
    void secondUpdateModeReplySendsNoSecondHandshake();
    void failures_data();
    void failures();

private:
    // A shown window on a device that has answered the version query.
    std::unique_ptr<TestWindow> connectedWindow(EmulatedDevice &device)
    {
        device.attach();
        auto window = std::make_unique<TestWindow>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()) ||
            !spinUntil([&] { return window->deviceVersionValue() != 0; }, 3000))
            return nullptr;
        return window;
    }
    // Presses TBFlush and picks `path` in the real file dialog.
    static void choose(TestWindow &window, ModalHand &hand, const QString &path)
    {
        hand.files << path;
        QTest::mouseClick(window.findChild<QToolButton *>("TBFlush"), Qt::LeftButton);
    }
    static void start(TestWindow &window)
    {
        QTest::mouseClick(window.findChild<QToolButton *>("toolButton_2"), Qt::LeftButton);
    }
    static bool enabled(const TestWindow &window, const char *button)
    {
        return window.findChild<QToolButton *>(button)->isEnabled();
    }

    QTemporaryDir dir;
};

void TestUpdate::fileTips_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("deviceVersion");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<bool>("startEnabled");
    // The size rules in full are in tst_updaterlogic; one file of each kind here.
    const QString formatError = "File Format Is Error";
    QTest::newRow("well formed") << firmwareBytes(8, 1250, 8) << 1250 << "" << true;
    QTest::newRow("one byte more") << firmwareBytes(8, 1250, 8, 1) << 1250 << formatError << false;
    QTest::newRow("short header") << QByteArray(10, '\x01') << 1250 << formatError << false;
    QTest::newRow("lower file version")
        << firmwareBytes(8, 1249, 8) << 1250
        << "The firmware file version is lower than the current device" << true;
    QTest::newRow("device outside the band")
        << firmwareBytes(8, 1250, 8) << 1300
        << "The firmware file does not match\n the current device" << false;
}

void TestUpdate::fileTips()
{
    QFETCH(QByteArray, file);
    QFETCH(int, deviceVersion);
    QFETCH(QString, tip);
    QFETCH(bool, startEnabled);
    DeviceConfig config;
    config.version = quint16(deviceVersion);
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    const QString path = writeFile(dir, QTest::currentDataTag() + QString(".fw"), file);
    choose(*window, hand, path);

    QCOMPARE(window->findChild<QLineEdit *>("line_path")->text(), path);
    QCOMPARE(hand.boxes,
             tip.isEmpty() ? QStringList() : QStringList{"Information | " + tip + " | &Yes"});
    QCOMPARE(enabled(*window, "toolButton_2"), startEnabled);
    if (file.size() >= 16 && tip != "File Format Is Error")
        QCOMPARE(window->findChild<QLabel *>("LB_VersionTip")->text(),
                 QString("Version Message: Selected File Version:%1\n      Current Eequipment "
                         "Version:%2")
                     .arg(qFromBigEndian<qint32>(file.constData() + 4))
                     .arg(deviceVersion));
}

void TestUpdate::fileTipsInChinese()
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    EmulatedDevice device(backend);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, writeFile(dir, "lower.fw", firmwareBytes(8, 1249, 8)));
    QCOMPARE(hand.boxes, QStringList{"信息 | 固件文件版本低于当前设备 | 确 定"});
    QVERIFY(enabled(*window, "toolButton_2"));
    QCOMPARE(window->findChild<QLabel *>("LB_VersionTip")->text(),
             QStringLiteral("版本信息:  所选文件版本:1249\n       当前设备版本:1250"));
}

void TestUpdate::filesThatEnableNothing()
{
    EmulatedDevice device(backend);
    device.attach();
    TestWindow window;
    ModalHand hand;
    const QString good = writeFile(dir, "good.fw", firmwareBytes(8, 1250, 8));
    // The version query goes out only after a second: no file fits a device of
    // unknown version.
    choose(window, hand, good);
    QVERIFY(!enabled(window, "toolButton_2"));
    QVERIFY(spinUntil([&] { return window.deviceVersionValue() != 0; }, 3000));
    choose(window, hand, good);
    QVERIFY(enabled(window, "toolButton_2"));
    // A cancelled dialog clears the path.
    choose(window, hand, QString());
    QVERIFY(window.findChild<QLineEdit *>("line_path")->text().isEmpty());
    QVERIFY(!enabled(window, "toolButton_2"));
    // A file gone before it is read.
    hand.removeChosenFile = true;
    choose(window, hand, writeFile(dir, "gone.fw", firmwareBytes(8, 1250, 8)));
    QVERIFY(!enabled(window, "toolButton_2"));
    QCOMPARE(hand.texts(),
             QStringList({"The firmware file does not match\n the current device",
                          "File Path Is Not NULL", "The selected file cannot be opened"}));
}

void TestUpdate::flashesCompletely_data()
{
    QTest::addColumn<int>("dspLength");
    QTest::addColumn<int>("armLength");
    QTest::addColumn<DeviceConfig>("config");
    QTest::addColumn<int>("boxOpenMs");
    QTest::newRow("one DSP window, one ARM packet") << 200 << 8 << DeviceConfig() << 0;
    QTest::newRow("DSP packet after a second window") << 208 << 8 << DeviceConfig() << 0;
    QTest::newRow("several ARM windows, T in class 0F")
        << 400 << 1000 << with([](DeviceConfig &c) { c.armAckClass = 0x0F; }) << 0;
    QTest::newRow("slow replies") << 400 << 400 << with([](DeviceConfig &c) { c.latencyMs = 30; })
                                  << 0;
    // The box opens inside the ARM timer's tick and Qt does not run that slot again
    // before it returns: however long the box stays open (here longer than the
    // stage's 2500 ticks), no time-out error follows a completed transfer.
    QTest::newRow("box left open") << 200 << 8 << DeviceConfig() << 6000;
    QTest::newRow("box left open, Y seen")
        << 200 << 8 << with([](DeviceConfig &c) { c.confirmOnArmEnd = true; }) << 6000;
}

void TestUpdate::flashesCompletely()
{
    QFETCH(int, dspLength);
    QFETCH(int, armLength);
    QFETCH(DeviceConfig, config);
    QFETCH(int, boxOpenMs);
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    hand.holdMs = boxOpenMs;
    const QByteArray bytes = firmwareBytes(quint32(dspLength), 1250, quint32(armLength));
    const QString path = writeFile(dir, "image.fw", bytes);
    choose(*window, hand, path);
    QVERIFY(enabled(*window, "toolButton_2"));

    start(*window);
    QVERIFY(!enabled(*window, "toolButton_2"));
    QVERIFY(!enabled(*window, "TBFlush"));
    QVERIFY(spinUntil([&] { return window->exitCode == 0; }, StageTimeoutMs + boxOpenMs));

    QCOMPARE(hand.boxes,
             QStringList{"information | Update Complete!\nClick OK to close the software! | Ok"});
    // The bar ends at the offset of the last packet.
    auto *bar = window->findChild<ProgressBarColor *>("progressBarColor");
    QCOMPARE(bar->getValue(), double(bytes.size() - 8));
    QCOMPARE(bar->getMaxValue(), double(bytes.size()));

    // Every report on the wire, byte for byte and in order: version query, enter
    // update, DSP handshake, packets, DSP end, ARM handshake, packets, ARM end.
    QList<QByteArray> expected{wire("800301"), wire("800C5402"), wire("800C2301")};
    for (int at = 16; at < bytes.size(); at += 8) {
        if (at == 16 + dspLength)
            expected << wire("800C2103") << wire("800F2501");
        expected << wire(at < 16 + dspLength ? "800D" : "800E", bytes.mid(at, 8));
    }
    QCOMPARE(received(device), expected << wire("800F1003"));
    QVERIFY(device.imagesMatchFile(path.toStdString()));
}

void TestUpdate::secondUpdateModeReplySendsNoSecondHandshake()
{
    DeviceConfig config;
    config.dspAcks = 1; // the DSP stage stops after its first window
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, writeFile(dir, "long.fw", firmwareBytes(400, 1250, 8)));
    start(*window);
    QVERIFY(spinUntil([&] { return count(device, "800D") == 25; }, StageTimeoutMs));

    device.sendReport({0x80, 0x0C, 0x55});
    spinUntil([] { return false; }, 100);
    QCOMPARE(count(device, "800C2301"), 1);
    QCOMPARE(count(device, "800D"), 25);
}

void TestUpdate::failures_data()
{
    QTest::addColumn<DeviceConfig>("config");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("packetsSent");
    // The image: 25 DSP packets (data packets 0 to 24, one window), then 30 ARM
    // packets (a window of 25 and a last window of 5).
    QTest::newRow("no U: the watchdog's ten ticks")
        << with([](DeviceConfig &c) { c.answerEnterUpdate = false; }) << "Error 1" << 0;
    QTest::newRow("no V at all") << with([](DeviceConfig &c) { c.dspAcks = 0; }) << "Error 2" << 0;
    QTest::newRow("no V after DSP end")
        << with([](DeviceConfig &c) { c.dspAcks = 1; }) << "Error 4" << 25;
    QTest::newRow("no V after DSP end, Y seen") << with([](DeviceConfig &c) {
        c.dspAcks = 1;
        c.confirmOnDspEnd = true;
    }) << "Error 2" << 25;
    QTest::newRow("no T") << with([](DeviceConfig &c) { c.armAcks = 0; }) << "Error 5" << 25;
    // A refused write leaves the writer pending: nothing more of the stage, its end
    // included, goes out, unnoticed, and the stage runs into its time-out.
    QTest::newRow("refused from packet 10")
        << with([](DeviceConfig &c) { c.refuseFromPacket = 10; }) << "Error 4" << 11;
    // The last window goes out without waiting for a reply: only the window's record
    // of the failed write keeps it from claiming completion for an image the device
    // never got whole.
    QTest::newRow("refused in the last window")
        << with([](DeviceConfig &c) { c.refuseFromPacket = 52; }) << "Error 4" << 53;
    QTest::newRow("last packet refused")
        << with([](DeviceConfig &c) { c.refuseFromPacket = 54; }) << "Error 4" << 55;
    QTest::newRow("pulled out in the ARM stage")
        << with([](DeviceConfig &c) { c.unplugAtPacket = 30; }) << "Error 5" << 31;
}

void TestUpdate::failures()
{
    QFETCH(DeviceConfig, config);
    QFETCH(QString, error);
    QFETCH(int, packetsSent);
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, writeFile(dir, "stage.fw", firmwareBytes(200, 1250, 240)));
    QElapsedTimer clock;
    clock.start();
    start(*window);
    QVERIFY(spinUntil([&] { return !hand.boxes.isEmpty(); }, WatchdogTimeoutMs));
    const QStringList box{"Warning | " + error + " | &Yes"};
    QCOMPARE(hand.boxes, box);
    if (error == "Error 1")
        QVERIFY2(clock.elapsed() >= 9000, "the watchdog gave up before its ten ticks");
    QCOMPARE(count(device, "800D") + count(device, "800E"), packetsSent);
    QVERIFY(!device.armEndReceived());
    // A device pulled out takes its reader with it.
    QCOMPARE(window->currentReader() == nullptr, !device.present());
    QCOMPARE(window->findChildren<USBThread *>().first()->isFinished(), !device.present());
    QVERIFY(!enabled(*window, "toolButton_2"));
    QVERIFY(!enabled(*window, "TBFlush"));
    // Nothing is retried, no second box follows and the program stays.
    QTest::qWait(300);
    QCOMPARE(hand.boxes, box);
    QCOMPARE(window->exitCode, -1);
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
