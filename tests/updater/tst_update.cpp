// Firmware updates: the header's rules, then end to end with the real window and file
// dialog against the emulated bootloader, and every way the device can fail to answer.
#include "updaterfixture.h"
#include <emulator/emulateddevice.h>
#include <flash/bootprotocol.h>
#include <flash/firmwareimage.h>
#include <gauges/progressbarcolor.h>

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {

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

int count(const EmulatedDevice &device, const char *hex)
{
    int n = 0;
    for (const QByteArray &report : received(device))
        n += report.startsWith(QByteArray::fromHex(hex));
    return n;
}

DeviceConfig with(void (*change)(DeviceConfig &))
{
    DeviceConfig config;
    change(config);
    return config;
}

// A stage gives up after 2500 ticks of 2 ms: room to spare.
constexpr int StageTimeoutMs = 12000;

} // namespace

Q_DECLARE_METATYPE(DeviceConfig)

class TestUpdate : public WindowTest
{
    Q_OBJECT
private slots:
    void header();
    void wellFormed_data();
    void wellFormed();
    void versionCheck_data();
    void versionCheck();
    void loadRefusesWhatItCannotRead();
    void dataPacketStaysInTheImage();
    void strangeRepliesAreIgnored();
    void fileTips_data();
    void fileTips();
    void filesThatEnableNothing();
    void signedFiles_data();
    void signedFiles();
    void flashesCompletely_data();
    void flashesCompletely();
    void shortFeatureReportsRefuseTheUpdate();
    void secondUpdateModeReplySendsNoSecondHandshake();
    void failureBox();
    void closingAsksWhileUpdating();

private:
    std::unique_ptr<TestWindow> connectedWindow(EmulatedDevice &device,
                                                const flash::Timing &timing = Hasty)
    {
        device.attach();
        auto window = std::make_unique<TestWindow>(backend, timing);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()) ||
            !spinUntil([&] { return window->deviceVersionValue() != 0; }, 3000))
            return nullptr;
        return window;
    }
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
    QString saved(const QString &name, const QByteArray &bytes) const
    {
        return writeFile(dir.filePath(name), bytes) ? dir.filePath(name) : QString();
    }

    QTemporaryDir dir;
};

void TestUpdate::header()
{
    // The version field is signed, as the device compares it.
    const firmware::Image negative = firmware::fromBytes(firmwareBytes(8, -5, 8));
    QCOMPARE(negative.fileVersion, -5);
    QCOMPARE(firmware::openResult(negative, 1250), 2);
}

void TestUpdate::wellFormed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::newRow("16+8+8") << firmwareBytes(8, 1250, 8) << true;
    QTest::newRow("shorter than the header") << QByteArray(15, '\xFF') << false;
    QTest::newRow("one byte more") << firmwareBytes(8, 1250, 8, 1) << false;
    QTest::newRow("dsp not whole packets") << firmwareBytes(12, 1250, 4) << false;
    QTest::newRow("arm not whole packets") << firmwareBytes(4, 1250, 12) << false;
    // An empty stage would never see its last packet and wait forever.
    QTest::newRow("no dsp image") << firmwareBytes(0, 1250, 16) << false;
    QTest::newRow("no arm image") << firmwareBytes(16, 1250, 0) << false;
    // Lengths that would wrap a 32-bit sum around to the file size.
    QByteArray wrap = firmwareBytes(8, 1250, 8);
    qToBigEndian(quint32(0xFFFFFFF8), wrap.data());
    qToBigEndian(quint32(0x10), wrap.data() + 8);
    QTest::newRow("lengths that overflow") << wrap << false;
}

void TestUpdate::wellFormed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QCOMPARE(firmware::wellFormed(firmware::fromBytes(bytes)), ok);
}

void TestUpdate::versionCheck_data()
{
    QTest::addColumn<int>("productId");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("result");
    QTest::newRow("0526 low edge") << 0x0526 << 1200 << 0 << 1;
    QTest::newRow("0526 high edge") << 0x0526 << 1299 << 99999 << 1;
    QTest::newRow("0526 below") << 0x0526 << 1199 << 1250 << -1;
    QTest::newRow("0526 above") << 0x0526 << 1300 << 1250 << -1;
    QTest::newRow("0522 file outside") << 0x0522 << 6999 << 7000 << -1;
    QTest::newRow("0522 unknown device") << 0x0522 << 4999 << 5000 << -2;
    QTest::newRow("0524 3200 band, file in next") << 0x0524 << 3399 << 3400 << -1;
    QTest::newRow("0524 3800 band") << 0x0524 << 3999 << 3800 << 1;
    QTest::newRow("0524 unknown device") << 0x0524 << 4000 << 3900 << -2;
    QTest::newRow("other product") << 0x0525 << 0 << -1 << 1;
}

void TestUpdate::versionCheck()
{
    QFETCH(int, productId);
    QFETCH(int, device);
    QFETCH(int, file);
    QFETCH(int, result);
    QCOMPARE(firmware::versionCheck(productId, quint16(device), file), result);
}

void TestUpdate::loadRefusesWhatItCannotRead()
{
    firmware::Image image;
    // A huge file is refused from its size alone (a sparse file costs no disk).
    QFile big(dir.filePath("big.fw"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(firmware::MaxFileSize + 1));
    big.close();
    QCOMPARE(firmware::load(big.fileName(), &image), firmware::LoadError::TooLarge);
    QVERIFY(image.data.isEmpty());
}

void TestUpdate::dataPacketStaysInTheImage()
{
    using namespace bootprotocol;
    const QByteArray image = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
    Command packet;
    packet.fill(0xEE);
    fillDataPacket(packet, ArmData, image, 12, 8);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(packet.data()), int(packet.size())),
             QByteArray::fromHex("800ECCDDEEFF0000000000"));
}

void TestUpdate::strangeRepliesAreIgnored()
{
    for (const char *hex : {"800C57", "800F56", "800755", "80", ""})
        QCOMPARE(bootprotocol::classify(QByteArray::fromHex(hex)), bootprotocol::Reply::Ignored);
}

void TestUpdate::fileTips_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("deviceVersion");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("startEnabled");
    QTest::addColumn<QString>("versionTip");
    const int en = QLocale::English;
    const QString tip = "Version Message: Selected File Version:%1\n      Current Eequipment "
                        "Version:%2";
    QTest::newRow("one byte more") << en << firmwareBytes(8, 1250, 8, 1) << 1250
                                   << "Information | File Format Is Error | &Yes" << false << "";
    QTest::newRow("lower file version")
        << en << firmwareBytes(8, 1249, 8) << 1250
        << "Information | The firmware file version is lower than the current device | &Yes" << true
        << tip.arg(1249).arg(1250);
    QTest::newRow("lower file version, Chinese")
        << int(QLocale::Chinese) << firmwareBytes(8, 1249, 8) << 1250
        << "信息 | 固件文件版本低于当前设备 | 确 定" << true
        << "版本信息:  所选文件版本:1249\n       当前设备版本:1250";
    QTest::newRow("device outside the band")
        << en << firmwareBytes(8, 1250, 8) << 1300
        << "Information | The firmware file does not match\n the current device | &Yes" << false
        << tip.arg(1250).arg(1300);
}

void TestUpdate::fileTips()
{
    QFETCH(int, language);
    QFETCH(QByteArray, file);
    QFETCH(int, deviceVersion);
    QFETCH(QString, box);
    QFETCH(bool, startEnabled);
    QFETCH(QString, versionTip);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    DeviceConfig config;
    config.version = quint16(deviceVersion);
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    const QString path = saved("tip.fw", file);
    choose(*window, hand, path);

    QCOMPARE(window->findChild<QLineEdit *>("line_path")->text(), path);
    QCOMPARE(hand.boxes, QStringList{box});
    QCOMPARE(enabled(*window, "toolButton_2"), startEnabled);
    if (!versionTip.isEmpty())
        QCOMPARE(window->findChild<QLabel *>("LB_VersionTip")->text(), versionTip);
}

// With a signing key a file picked by hand is checked against the signature beside it.
void TestUpdate::signedFiles_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("signature"); // "vendor", "tampered", "none"
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("labelEnd");
    const int en = QLocale::English;
    QTest::newRow("signed") << en << "vendor" << QStringList() << "\nsigned: release 1260";
    QTest::newRow("signed, Chinese")
        << int(QLocale::Chinese) << "vendor" << QStringList() << "\n已签名: release 1260";
    // A technician's own build still flashes.
    QTest::newRow("unsigned") << en << "none" << QStringList() << "\nunsigned";
    QTest::newRow("tampered")
        << en << "tampered"
        << QStringList{"Information | The firmware's signature is missing or does not match | &Yes"}
        << "\nunsigned";
    QTest::newRow("tampered, Chinese")
        << int(QLocale::Chinese) << "tampered" << QStringList{"信息 | 固件签名缺失或不匹配 | 确 定"}
        << "\n未签名";
}

void TestUpdate::signedFiles()
{
    QFETCH(int, language);
    QFETCH(QString, signature);
    QFETCH(QStringList, boxes);
    QFETCH(QString, labelEnd);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    // Made by minisign when the test was built (makesigned.py): version 1260, signed.
    const QString made = QStringLiteral(SIGNED_IMAGES "/");
    QByteArray image = readFile(made + "1260.bin");
    const QString path = saved("signed.fw", image);
    QFile::remove(path + ".minisig");
    QVERIFY(signature == "none" || QFile::copy(made + "1260.bin.minisig", path + ".minisig"));
    if (signature == "tampered") {
        image[20] = char(image[20] ^ 0x01);
        QVERIFY(writeFile(path, image));
    }
    EmulatedDevice device(backend);
    auto window = connectedWindow(device);
    QVERIFY(window);
    window->setSigningKey(readFile(made + "vendor.pub"));
    ModalHand hand;
    choose(*window, hand, path);

    QCOMPARE(hand.boxes, boxes);
    QCOMPARE(enabled(*window, "toolButton_2"), boxes.isEmpty());
    QVERIFY2(window->findChild<QLabel *>("LB_VersionTip")->text().endsWith(labelEnd),
             qPrintable(window->findChild<QLabel *>("LB_VersionTip")->text()));
}

void TestUpdate::filesThatEnableNothing()
{
    EmulatedDevice device(backend);
    device.attach();
    flash::Timing later = Hasty;
    later.versionQueryDelayMs = 300;
    TestWindow window(backend, later);
    ModalHand hand;
    const QString good = saved("good.fw", firmwareBytes(8, 1250, 8));
    // The version query goes out a while after start-up: no file fits a device of
    // unknown version.
    choose(window, hand, good);
    QVERIFY(!enabled(window, "toolButton_2"));
    QVERIFY(spinUntil([&] { return window.deviceVersionValue() != 0; }, 3000));
    choose(window, hand, good);
    QVERIFY(enabled(window, "toolButton_2"));
    choose(window, hand, QString());
    QVERIFY(window.findChild<QLineEdit *>("line_path")->text().isEmpty());
    QVERIFY(!enabled(window, "toolButton_2"));
    hand.removeChosenFile = true;
    choose(window, hand, saved("gone.fw", firmwareBytes(8, 1250, 8)));
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
    QTest::newRow("several ARM windows, T in class 0F")
        << 400 << 1000 << with([](DeviceConfig &c) { c.armAckClass = 0x0F; }) << 0;
    QTest::newRow("slow replies") << 400 << 400 << with([](DeviceConfig &c) { c.latencyMs = 30; })
                                  << 0;
    // The shortest feature report that carries a whole data packet (11, the command
    // exactly, goes through hidraw in tst_hidrawupdater).
    QTest::newRow("feature length 10")
        << 16 << 16 << with([](DeviceConfig &c) { c.featureReportLength = 10; }) << 0;
    // A box open longer than the stage's time-out brings no time-out error.
    QTest::newRow("box left open, DSP packet after a second window")
        << 208 << 8 << DeviceConfig() << 3 * Hasty.stageTimeoutTicks * Hasty.packetIntervalMs;
    QTest::newRow("box left open, Y seen")
        << 200 << 8 << with([](DeviceConfig &c) { c.confirmOnArmEnd = true; })
        << 3 * Hasty.stageTimeoutTicks * Hasty.packetIntervalMs;
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
    const QString path = saved("image.fw", bytes);
    choose(*window, hand, path);
    QVERIFY(enabled(*window, "toolButton_2"));

    start(*window);
    QVERIFY(!enabled(*window, "toolButton_2") && !enabled(*window, "TBFlush"));
    QVERIFY(spinUntil([&] { return window->exitCode == 0; }, StageTimeoutMs + boxOpenMs));

    QCOMPARE(hand.boxes,
             QStringList{"information | Update Complete!\nClick OK to close the software! | Ok"});
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
    expected << wire("800F1003");
    for (QByteArray &report : expected)
        report.truncate(config.featureReportLength);
    QCOMPARE(received(device), expected);
    QVERIFY(device.imagesMatchFile(path.toStdString()));
}

void TestUpdate::shortFeatureReportsRefuseTheUpdate()
{
    for (int length : {8, 9}) {
        DeviceConfig config;
        config.featureReportLength = quint16(length);
        EmulatedDevice device(backend, config);
        auto window = connectedWindow(device);
        QVERIFY(window);
        ModalHand hand;
        const QString path = saved("cut.fw", firmwareBytes(8, 1250, 8));
        choose(*window, hand, path);
        start(*window);
        QTRY_COMPARE(hand.boxes.size(), 1);
        QCOMPARE(hand.boxes.first(),
                 "Information | The device cannot receive firmware packets | &Yes");
        QCOMPARE(received(device).size(), 1);
        QCOMPARE(window->findChild<QLineEdit *>("line_path")->text(), path);
        QVERIFY(enabled(*window, "toolButton_2"));
    }
}

void TestUpdate::secondUpdateModeReplySendsNoSecondHandshake()
{
    DeviceConfig config;
    config.dspAcks = 1; // the DSP stage stops after its first window
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, saved("long.fw", firmwareBytes(400, 1250, 8)));
    start(*window);
    QVERIFY(spinUntil([&] { return count(device, "800D") == 25; }, StageTimeoutMs));

    device.sendReport({0x80, 0x0C, 0x55});
    spinUntil([] { return false; }, 100);
    QCOMPARE(count(device, "800C2301"), 1);
    QCOMPARE(count(device, "800D"), 25);
}

void TestUpdate::failureBox()
{
    DeviceConfig config;
    config.armAcks = 0;
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, saved("stage.fw", firmwareBytes(200, 1250, 240)));
    start(*window);
    QVERIFY(spinUntil([&] { return !hand.boxes.isEmpty(); }, StageTimeoutMs));
    const QStringList box{"Warning | Error 5 | &Yes"};
    QCOMPARE(hand.boxes, box);
    QVERIFY(!device.armEndReceived());
    QVERIFY(!enabled(*window, "toolButton_2") && !enabled(*window, "TBFlush"));
    // No second box follows and the program stays.
    QTest::qWait(200);
    QCOMPARE(hand.boxes, box);
    QCOMPARE(window->exitCode, -1);
}

void TestUpdate::closingAsksWhileUpdating()
{
    DeviceConfig config;
    config.latencyMs = 30;
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    ModalHand hand;
    choose(*window, hand, saved("long.fw", firmwareBytes(4000, 1250, 400)));
    const QString question = "An update is running. Closing now leaves the device in its "
                             "bootloader; it can be flashed again. Close anyway?";
    hand.answers[question] = QMessageBox::No;
    start(*window);
    // Alt+F4 and the window manager close through the close event, the close button
    // through onExit: both ask, and No keeps the update going.
    QVERIFY(!window->close());
    auto *closeButton = window->findChild<QToolButton *>("toolButton_4");
    QTest::mouseClick(closeButton, Qt::LeftButton);
    QVERIFY(window->isVisible());
    QCOMPARE(window->exitCode, -1);
    const QString box = "Warning | " + question + " | &Yes | &No";
    QCOMPARE(hand.boxes, QStringList({box, box}));
    QCOMPARE(hand.details.last(), QString("icon %1, default &No").arg(QMessageBox::Question));
    hand.answers[question] = QMessageBox::Yes;
    QTest::mouseClick(closeButton, Qt::LeftButton);
    QCOMPARE(window->exitCode, 0);
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
