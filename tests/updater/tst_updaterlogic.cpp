// The updater's pure rules: window titles, the firmware header and its checks, the
// command bytes and the reply classes.
#include "bootprotocol.h"
#include "firmwareimage.h"
#include "updaterfixture.h"
#include "windowtitle.h"

#include <QtTest>

class TestUpdaterLogic : public QObject
{
    Q_OBJECT
private slots:
    void titles_data();
    void titles();
    void header();
    void wellFormed_data();
    void wellFormed();
    void versionCheck_data();
    void versionCheck();
    void loadRefusesWhatItCannotRead();
    void dataPacketStaysInTheImage();
    void strangeRepliesAreIgnored();
};

void TestUpdaterLogic::titles_data()
{
    QTest::addColumn<int>("productId");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::newRow("0525 English") << 0x0525 << int(QLocale::English) << "PLMBOOTLOADER";
    QTest::newRow("0525 Chinese") << 0x0525 << int(QLocale::Chinese) << "PLMBOOTLOADER";
    QTest::newRow("0524 English") << 0x0524 << int(QLocale::English) << "WheelupdateOffLine";
    QTest::newRow("0524 Chinese") << 0x0524 << int(QLocale::Chinese) << "方向盘离线更新";
    QTest::newRow("0524 German") << 0x0524 << int(QLocale::German) << "方向盘离线更新";
    QTest::newRow("0522 German") << 0x0522 << int(QLocale::German) << "RivetUpdateOff";
}

void TestUpdaterLogic::titles()
{
    QFETCH(int, productId);
    QFETCH(int, language);
    QFETCH(QString, title);
    QCOMPARE(windowTitleFor(productId, QLocale::Language(language)), title);
}

void TestUpdaterLogic::header()
{
    // Big-endian fields: 00 00 04 E2 at offset 4 is version 1250.
    const firmware::Image image = firmware::fromBytes(firmwareBytes(200, 1250, 8));
    QVERIFY(image.headerComplete);
    QCOMPARE(image.dspEnd, qint64(216));
    QCOMPARE(image.armLength, qint64(8));
    QCOMPARE(image.fileVersion, 1250);
    QCOMPARE(image.data.mid(4, 4), QByteArray::fromHex("000004E2"));

    // The version field is signed, as the device compares it.
    const firmware::Image negative = firmware::fromBytes(firmwareBytes(8, -5, 8));
    QCOMPARE(negative.fileVersion, -5);
    QCOMPARE(firmware::openResult(negative, 1250), 2);

    // A file shorter than the header has none and is refused as badly formed.
    for (int size : {0, 1, 12, 15}) {
        const firmware::Image cut = firmware::fromBytes(QByteArray(size, '\xFF'));
        QVERIFY(!cut.headerComplete);
        QCOMPARE(cut.dspEnd, qint64(0));
        QCOMPARE(firmware::openResult(cut, 0), 1);
    }
}

void TestUpdaterLogic::wellFormed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::newRow("16+8+8") << firmwareBytes(8, 1250, 8) << true;
    QTest::newRow("one byte more") << firmwareBytes(8, 1250, 8, 1) << false;
    QTest::newRow("one byte less") << firmwareBytes(8, 1250, 8, -1) << false;
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

void TestUpdaterLogic::wellFormed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QCOMPARE(firmware::wellFormed(firmware::fromBytes(bytes)), ok);
}

void TestUpdaterLogic::versionCheck_data()
{
    QTest::addColumn<int>("productId");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("result");
    QTest::newRow("0526 low edge") << 0x0526 << 1200 << 0 << 1;
    QTest::newRow("0526 high edge") << 0x0526 << 1299 << 99999 << 1;
    QTest::newRow("0526 below") << 0x0526 << 1199 << 1250 << -1;
    QTest::newRow("0526 above") << 0x0526 << 1300 << 1250 << -1;
    QTest::newRow("0522 fits") << 0x0522 << 5000 << 6999 << 1;
    QTest::newRow("0522 file outside") << 0x0522 << 6999 << 7000 << -1;
    QTest::newRow("0522 unknown device") << 0x0522 << 4999 << 5000 << -2;
    QTest::newRow("0524 3200 band") << 0x0524 << 3200 << 3399 << 1;
    QTest::newRow("0524 3200 band, file in next") << 0x0524 << 3399 << 3400 << -1;
    QTest::newRow("0524 3600 band, file below") << 0x0524 << 3600 << 3599 << -1;
    QTest::newRow("0524 3800 band") << 0x0524 << 3999 << 3800 << 1;
    QTest::newRow("0524 unknown device") << 0x0524 << 4000 << 3900 << -2;
    QTest::newRow("0524 below bands") << 0x0524 << 3199 << 3200 << -2;
    QTest::newRow("other product") << 0x0525 << 0 << -1 << 1;
}

void TestUpdaterLogic::versionCheck()
{
    QFETCH(int, productId);
    QFETCH(int, device);
    QFETCH(int, file);
    QFETCH(int, result);
    QCOMPARE(firmware::versionCheck(productId, quint16(device), file), result);
}

void TestUpdaterLogic::loadRefusesWhatItCannotRead()
{
    QTemporaryDir dir;
    firmware::Image image;
    QCOMPARE(firmware::load(dir.filePath("missing.fw"), &image), firmware::LoadError::CannotOpen);
    QCOMPARE(firmware::load(dir.path(), &image), firmware::LoadError::CannotOpen);

    // A huge file is refused from its size alone (a sparse file costs no disk).
    QFile big(dir.filePath("big.fw"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(firmware::MaxFileSize + 1));
    big.close();
    QCOMPARE(firmware::load(big.fileName(), &image), firmware::LoadError::TooLarge);
    QVERIFY(image.data.isEmpty());

    const QString good = writeFile(dir, "good.fw", firmwareBytes(8, 1250, 8));
    QCOMPARE(firmware::load(good, &image), firmware::LoadError::None);
    QCOMPARE(image.data.size(), 32);
}

void TestUpdaterLogic::dataPacketStaysInTheImage()
{
    using namespace bootprotocol;
    const QByteArray image = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
    Command packet;
    packet.fill(0xEE);
    fillDataPacket(packet, ArmData, image, 12, 8);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(packet.data()), int(packet.size())),
             QByteArray::fromHex("800ECCDDEEFF0000000000"));
}

void TestUpdaterLogic::strangeRepliesAreIgnored()
{
    // The classes that matter are met in the update tests; these must change nothing.
    for (const char *hex : {"800C57", "800F56", "800755", "80", ""})
        QCOMPARE(bootprotocol::classify(QByteArray::fromHex(hex)), bootprotocol::Reply::Ignored);
}

QTEST_GUILESS_MAIN(TestUpdaterLogic)
#include "tst_updaterlogic.moc"
