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

// Counts the commands of one kind (bytes 1 to 3) among the reports a device got.
int countCommand(const EmulatedDevice &device, std::uint8_t b1, int b2 = -1, int b3 = -1)
{
    int n = 0;
    for (const auto &report : device.featureReports())
        n += report[1] == b1 && (b2 < 0 || report[2] == b2) && (b3 < 0 || report[3] == b3);
    return n;
}

// A stage gives up after 2500 ticks of 2 ms, the watchdog after 10 s: room to spare.
constexpr int StageTimeoutMs = 12000;
constexpr int WatchdogTimeoutMs = 16000;

} // namespace

class TestUpdate : public WindowTest
{
    Q_OBJECT
private slots:
    void fileTips_data();
    void fileTips();
    void fileTipsInChinese();
    void cancelledOrUnreadableFile();
    void noVersionReplyYet();
    void flashesCompletely_data();
    void flashesCompletely();
    void secondUpdateModeReplySendsNoSecondHandshake();
    void failures_data();
    void failures();
    void removalDuringTheTransfer();

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
    const QString formatError = "File Format Is Error";
    const QString mismatch = "The firmware file does not match\n the current device";
    QTest::newRow("well formed") << firmwareBytes(8, 1250, 8) << 1250 << "" << true;
    QTest::newRow("one byte more") << firmwareBytes(8, 1250, 8, 1) << 1250 << formatError << false;
    QTest::newRow("one byte less") << firmwareBytes(8, 1250, 8, -1) << 1250 << formatError << false;
    QTest::newRow("short header") << QByteArray(10, '\x01') << 1250 << formatError << false;
    QTest::newRow("not whole packets")
        << firmwareBytes(12, 1250, 4) << 1250 << formatError << false;
    QTest::newRow("lower file version")
        << firmwareBytes(8, 1249, 8) << 1250
        << "The firmware file version is lower than the current device" << true;
    QTest::newRow("much higher file version") << firmwareBytes(8, 99999, 8) << 1250 << "" << true;
    QTest::newRow("device outside the band")
        << firmwareBytes(8, 1250, 8) << 1300 << mismatch << false;
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
    QCOMPARE(hand.texts(), tip.isEmpty() ? QStringList() : QStringList{tip});
    if (!tip.isEmpty())
        QCOMPARE(hand.boxes[0].title, QStringLiteral("Information"));
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
    QCOMPARE(hand.texts(), QStringList{"固件文件版本低于当前设备"});
    QVERIFY(enabled(*window, "toolButton_2"));
    QCOMPARE(window->findChild<QLabel *>("LB_VersionTip")->text(),
             QStringLiteral("版本信息:  所选文件版本:1249\n       当前设备版本:1250"));
}

void TestUpdate::cancelledOrUnreadableFile()
{
    EmulatedDevice device(backend);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, writeFile(dir, "good.fw", firmwareBytes(8, 1250, 8)));
    QVERIFY(enabled(*window, "toolButton_2"));
    choose(*window, hand, QString());
    QCOMPARE(hand.texts(), QStringList{"File Path Is Not NULL"});
    QVERIFY(window->findChild<QLineEdit *>("line_path")->text().isEmpty());
    QVERIFY(!enabled(*window, "toolButton_2"));

    // A file gone before it is read says so and enables nothing.
    hand.removeChosenFile = true;
    choose(*window, hand, writeFile(dir, "gone.fw", firmwareBytes(8, 1250, 8)));
    QCOMPARE(hand.texts().last(), QStringLiteral("The selected file cannot be opened"));
    QVERIFY(!enabled(*window, "toolButton_2"));
}

void TestUpdate::noVersionReplyYet()
{
    EmulatedDevice device(backend);
    device.attach();
    TestWindow window; // the version query goes out only after a second
    ModalHand hand;
    choose(window, hand, writeFile(dir, "early.fw", firmwareBytes(8, 1250, 8)));
    QCOMPARE(hand.texts(), QStringList{"The firmware file does not match\n the current device"});
    QVERIFY(!enabled(window, "toolButton_2"));
}

void TestUpdate::flashesCompletely_data()
{
    QTest::addColumn<int>("dspLength");
    QTest::addColumn<int>("armLength");
    QTest::addColumn<int>("armAckClass");
    QTest::addColumn<int>("latencyMs");
    QTest::addColumn<bool>("confirmOnArmEnd");
    QTest::addColumn<int>("boxOpenMs");
    QTest::newRow("one DSP window, one ARM packet") << 200 << 8 << 0x0C << 0 << false << 0;
    QTest::newRow("DSP packet after a second window") << 208 << 8 << 0x0C << 0 << false << 0;
    QTest::newRow("several ARM windows, T in class 0F") << 400 << 1000 << 0x0F << 0 << false << 0;
    QTest::newRow("slow replies") << 400 << 400 << 0x0C << 30 << false << 0;
    // The box opens inside the ARM timer's tick and Qt does not run that slot again
    // before it returns: however long the box stays open (here longer than the
    // stage's 2500 ticks), no time-out error follows a completed transfer.
    QTest::newRow("box left open") << 200 << 8 << 0x0C << 0 << false << 6000;
    QTest::newRow("box left open, Y seen") << 200 << 8 << 0x0C << 0 << true << 6000;
}

void TestUpdate::flashesCompletely()
{
    QFETCH(int, dspLength);
    QFETCH(int, armLength);
    QFETCH(int, armAckClass);
    QFETCH(int, latencyMs);
    QFETCH(bool, confirmOnArmEnd);
    QFETCH(int, boxOpenMs);
    DeviceConfig config;
    config.armAckClass = std::uint8_t(armAckClass);
    config.latencyMs = latencyMs;
    config.confirmOnArmEnd = confirmOnArmEnd;
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    hand.holdTitle = "information";
    hand.holdMs = boxOpenMs;
    const QByteArray bytes = firmwareBytes(quint32(dspLength), 1250, quint32(armLength));
    const QString path = writeFile(dir, "image.fw", bytes);
    choose(*window, hand, path);
    QVERIFY(enabled(*window, "toolButton_2"));

    start(*window);
    QVERIFY(!enabled(*window, "toolButton_2"));
    QVERIFY(!enabled(*window, "TBFlush"));
    QVERIFY(spinUntil([&] { return window->exitCode == 0; }, StageTimeoutMs + boxOpenMs));

    QCOMPARE(hand.boxes.size(), 1);
    QCOMPARE(hand.boxes[0].title, QStringLiteral("information"));
    QCOMPARE(hand.boxes[0].text,
             QStringLiteral("Update Complete!\nClick OK to close the software!"));
    QCOMPARE(hand.boxes[0].buttons, QStringList{"Ok"});
    QVERIFY(device.imagesMatchFile(path.toStdString()));
    QCOMPARE(countCommand(device, 0x0D), dspLength / 8);
    QCOMPARE(countCommand(device, 0x0E), armLength / 8);
    QCOMPARE(countCommand(device, 0x0C, 0x23, 0x01), 1);
    QCOMPARE(countCommand(device, 0x0C, 0x21, 0x03), 1);
    QCOMPARE(countCommand(device, 0x0F, 0x25, 0x01), 1);
    QCOMPARE(countCommand(device, 0x0F, 0x10, 0x03), 1);
    QVERIFY(device.armEndReceived());
    // The bar ends at the offset of the last packet.
    auto *bar = window->findChild<ProgressBarColor *>("progressBarColor");
    QCOMPARE(bar->getValue(), double(bytes.size() - 8));
    QCOMPARE(bar->getMaxValue(), double(bytes.size()));

    // The order on the wire: enter update, DSP handshake, packets, DSP end, ARM
    // handshake, packets, ARM end.
    const auto reports = device.featureReports();
    QCOMPARE(int(reports[1][1]), 0x0C); // [0] is the version query
    QCOMPARE(int(reports[1][2]), 0x54);
    QCOMPARE(int(reports[2][2]), 0x23);
    const int dspEndAt = 3 + dspLength / 8;
    QCOMPARE(int(reports[dspEndAt - 1][1]), 0x0D);
    QCOMPARE(int(reports[dspEndAt][2]), 0x21);
    QCOMPARE(int(reports[dspEndAt + 1][2]), 0x25);
    QCOMPARE(int(reports.back()[2]), 0x10);
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
    QVERIFY(spinUntil([&] { return countCommand(device, 0x0D) == 25; }, StageTimeoutMs));

    device.sendReport({0x80, 0x0C, 0x55});
    spinUntil([] { return false; }, 100);
    QCOMPARE(countCommand(device, 0x0C, 0x23, 0x01), 1);
    QCOMPARE(countCommand(device, 0x0D), 25);
}

void TestUpdate::failures_data()
{
    QTest::addColumn<bool>("answerEnterUpdate");
    QTest::addColumn<int>("dspAcks");
    QTest::addColumn<int>("armAcks");
    QTest::addColumn<bool>("confirmOnDspEnd");
    QTest::addColumn<int>("refuseFromPacket");
    QTest::addColumn<int>("armLength");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("dspPackets");
    QTest::addColumn<int>("armPacketsKept");
    // 25 DSP packets (data packets 0 to 24, one window), then the ARM packets.
    QTest::newRow("no U: the watchdog's ten ticks")
        << false << -1 << -1 << false << -1 << 8 << "Error 1" << 0 << 0;
    QTest::newRow("no V at all") << true << 0 << -1 << false << -1 << 8 << "Error 2" << 0 << 0;
    QTest::newRow("no V after DSP end")
        << true << 1 << -1 << false << -1 << 8 << "Error 4" << 25 << 0;
    QTest::newRow("no V after DSP end, Y seen")
        << true << 1 << -1 << true << -1 << 8 << "Error 2" << 25 << 0;
    QTest::newRow("no T") << true << -1 << 0 << false << -1 << 8 << "Error 5" << 25 << 0;
    // A refused write leaves the writer pending: the rest of the stage, its end
    // included, never goes out, unnoticed, and the stage runs into its time-out.
    QTest::newRow("refused from packet 10")
        << true << -1 << -1 << false << 10 << 8 << "Error 4" << 11 << 0;
    // 30 ARM packets: a window of 25, then a last window of 5 (data packets 50 to 54)
    // sent without waiting for a reply. Only the window's record of the failed write
    // keeps it from claiming completion for an image the device never got whole.
    QTest::newRow("refused in the last window")
        << true << -1 << -1 << false << 52 << 240 << "Error 4" << 25 << 27;
    QTest::newRow("last packet refused")
        << true << -1 << -1 << false << 54 << 240 << "Error 4" << 25 << 29;
}

void TestUpdate::failures()
{
    QFETCH(bool, answerEnterUpdate);
    QFETCH(int, dspAcks);
    QFETCH(int, armAcks);
    QFETCH(bool, confirmOnDspEnd);
    QFETCH(int, refuseFromPacket);
    QFETCH(int, armLength);
    QFETCH(QString, error);
    QFETCH(int, dspPackets);
    QFETCH(int, armPacketsKept);
    DeviceConfig config;
    config.answerEnterUpdate = answerEnterUpdate;
    config.dspAcks = dspAcks;
    config.armAcks = armAcks;
    config.confirmOnDspEnd = confirmOnDspEnd;
    config.refuseFromPacket = refuseFromPacket;
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, writeFile(dir, "stage.fw", firmwareBytes(200, 1250, quint32(armLength))));
    QElapsedTimer clock;
    clock.start();
    start(*window);
    QVERIFY(spinUntil([&] { return !hand.boxes.isEmpty(); }, WatchdogTimeoutMs));
    QCOMPARE(hand.texts(), QStringList{error});
    QCOMPARE(hand.boxes[0].title, QStringLiteral("Warning"));
    if (!answerEnterUpdate)
        QVERIFY2(clock.elapsed() >= 9000, "the watchdog gave up before its ten ticks");
    QCOMPARE(countCommand(device, 0x0D), dspPackets);
    QCOMPARE(int(device.armImage().size()) / 8, armPacketsKept);
    QVERIFY(!device.armEndReceived());
    QVERIFY(!enabled(*window, "toolButton_2"));
    QVERIFY(!enabled(*window, "TBFlush"));
    // Nothing is retried, no second box follows and the program stays.
    QTest::qWait(300);
    QCOMPARE(hand.boxes.size(), 1);
    QCOMPARE(window->exitCode, -1);
}

void TestUpdate::removalDuringTheTransfer()
{
    DeviceConfig config;
    config.unplugAtPacket = 30;
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, writeFile(dir, "pulled.fw", firmwareBytes(800, 1250, 8)));
    start(*window);
    QTRY_VERIFY(!device.present());
    QTRY_VERIFY(window->currentReader() == nullptr);
    QTRY_VERIFY(window->findChildren<USBThread *>().first()->isFinished());
    QVERIFY(spinUntil([&] { return !hand.boxes.isEmpty(); }, StageTimeoutMs));
    QCOMPARE(hand.texts(), QStringList{"Error 2"});
    QCOMPARE(window->exitCode, -1);
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
