// The updater's window on hidraw nodes: arrival and removal through udev, and a whole
// firmware update whose every command is checked as the ioctl carried it.

#include "hidrawtestbed.h"
#include "updaterfixture.h"
#include <flash/usbthread.h>
#include <gauges/progressbarcolor.h>

#include <QPointer>
#include <QProcess>
#include <QToolButton>
#include <QtTest>

namespace {

// 2500 ticks of 2 ms at most per stage, with room to spare.
constexpr int UpdateTimeoutMs = 12000;
// The window asks for the version a second after it starts.
constexpr int VersionTimeoutMs = 5000;

NodeConfig deviceWithVersion(std::uint16_t version, std::uint16_t featureLength = 64)
{
    NodeConfig config;
    config.model.version = version;
    config.featureLength = featureLength;
    return config;
}

// The commands of a whole update of `file`, in order, as the device must see them.
std::vector<Bytes> updateCommands(const QByteArray &file, std::size_t length)
{
    const int dspEnd = 16 + int(qFromBigEndian<quint32>(file.constData()));
    std::vector<Bytes> commands{
        {0x80, 0x03, 0x01}, {0x80, 0x0C, 0x54, 0x02}, {0x80, 0x0C, 0x23, 0x01}};
    for (int at = 16; at < file.size(); at += 8) {
        if (at == dspEnd)
            commands.insert(commands.end(), {{0x80, 0x0C, 0x21, 0x03}, {0x80, 0x0F, 0x25, 0x01}});
        Bytes packet{0x80, std::uint8_t(at < dspEnd ? 0x0D : 0x0E)};
        packet.insert(packet.end(), file.begin() + at, file.begin() + at + 8);
        commands.push_back(packet);
    }
    commands.push_back({0x80, 0x0F, 0x10, 0x03});
    for (Bytes &command : commands)
        command = padded(command, length);
    return commands;
}

} // namespace

class TestHidrawUpdater : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!HidrawTestbed::preloaded())
            QSKIP(HidrawTestbed::NoPreload);
        Q_INIT_RESOURCE(updater);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void cleanup() { QVERIFY(testbed.unplugAll()); }

    void arrivalAndRemovalDriveTheLatches();
    void updatesThroughHidraw();
    void fwtoolUpdatesTwoNodesAtOnce();

private:
    HidrawTestbed testbed;
    QTemporaryDir dir;
};

void TestHidrawUpdater::arrivalAndRemovalDriveTheLatches()
{
    HidrawNode *first = testbed.plug(deviceWithVersion(1250));
    QVERIFY(first);
    TestWindow window(hidplatform::nativeBackend());
    QCOMPARE(window.link().devicePath(), first->path);
    const QPointer<ReaderThread> reader = window.currentReader();
    QVERIFY(reader && reader->isRunning());

    // hidraw ends the pending read before udev announces the removal; the reader
    // keeps going until the window hears of it.
    first->fail();
    QTRY_VERIFY(first->failedReads() >= 1);
    QVERIFY(reader->isRunning());
    QVERIFY(testbed.unplug(first));
    QVERIFY(window.currentReader() == nullptr);
    QTRY_VERIFY(!reader || reader->isFinished());

    HidrawNode *second = testbed.plug(deviceWithVersion(1300));
    QVERIFY(second);
    QVERIFY(window.currentReader() && window.currentReader() != reader);
    QVERIFY(window.currentReader()->isRunning());
    QCOMPARE(window.link().devicePath(), second->path);
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceVersionValue(), quint16(1300), VersionTimeoutMs);
    QCOMPARE(second->featureReports(), std::vector<Bytes>{padded({0x80, 0x03, 0x01}, 64)});
}

void TestHidrawUpdater::updatesThroughHidraw()
{
    const int featureLength = 11;
    HidrawNode *node = testbed.plug(deviceWithVersion(1250, featureLength));
    QVERIFY(node);
    TestWindow window(hidplatform::nativeBackend());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE_WITH_TIMEOUT(window.deviceVersionValue(), quint16(1250), VersionTimeoutMs);

    // L1 = 200: one window of 25 DSP packets; L2 = 8: one ARM packet.
    const QByteArray file = firmwareBytes(200, 1250, 8);
    const QString path = dir.filePath("tiny.fw");
    QVERIFY(writeFile(path, file));
    ModalHand hand;
    hand.files << path;
    QTest::mouseClick(window.findChild<QToolButton *>("TBFlush"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QToolButton *>("toolButton_2"), Qt::LeftButton);
    QVERIFY(spinUntil([&] { return window.exitCode == 0; }, UpdateTimeoutMs));

    QCOMPARE(hand.texts(), QStringList{"Update Complete!\nClick OK to close the software!"});
    QCOMPARE(node->featureReports(), updateCommands(file, std::size_t(featureLength)));
    QVERIFY(node->model().imagesMatchFile(path.toStdString()));
    QCOMPARE(window.findChild<ProgressBarColor *>("progressBarColor")->getValue(),
             double(file.size() - 8));
}

// `fwtool flash --all` in a process of its own, which reaches the nodes through the
// same preload: both devices updated side by side, each through its own node.
void TestHidrawUpdater::fwtoolUpdatesTwoNodesAtOnce()
{
    const int featureLength = 11;
    HidrawNode *first = testbed.plug(deviceWithVersion(1250, featureLength));
    HidrawNode *second = testbed.plug(deviceWithVersion(1250, featureLength));
    QVERIFY(first && second);
    const QByteArray file = firmwareBytes(400, 1251, 80);
    const QString path = dir.filePath("two.fw");
    QVERIFY(writeFile(path, file));

    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(FWTOOL, {"flash", path, "--all"});
    QVERIFY(tool.waitForStarted());
    QVERIFY(spinUntil([&] { return tool.state() == QProcess::NotRunning; }, 2 * UpdateTimeoutMs));
    const QString said = QString::fromLocal8Bit(tool.readAll());
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0, qPrintable(said));
    QVERIFY2(said.contains("2 updated, 0 failed, 0 skipped"), qPrintable(said));
    for (HidrawNode *node : {first, second}) {
        QVERIFY2(said.contains(QString::fromStdString(node->path)), qPrintable(said));
        QCOMPARE(node->featureReports(), updateCommands(file, std::size_t(featureLength)));
        QVERIFY(node->model().imagesMatchFile(path.toStdString()));
    }
}

QTEST_MAIN(TestHidrawUpdater)
#include "tst_hidrawupdater.moc"
