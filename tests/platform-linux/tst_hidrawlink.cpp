// The link's writer on the Linux backend: what HIDIOCSFEATURE carries to a hidraw
// node is the command and nothing else, zero-padded or cut to the feature report
// length the device's report descriptor declares.

#include "hidlink.h"
#include "hidrawtestbed.h"

#include <QtTest>

Q_DECLARE_METATYPE(Bytes)

namespace {

// `head` followed by zeros, `length` bytes in all.
Bytes padded(Bytes head, std::size_t length)
{
    head.resize(length, 0);
    return head;
}

} // namespace

class TestHidrawLink : public QObject
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
    void driverFailuresAreNotSuccesses_data();
    void driverFailuresAreNotSuccesses();

private:
    HidrawTestbed testbed;
};

void TestHidrawLink::sendsTheCommandAndThePadding_data()
{
    QTest::addColumn<int>("featureLength");
    QTest::addColumn<Bytes>("command"); // the first 11 bytes are the command

    // Whatever follows the command in the caller's buffer is not the device's.
    Bytes query{0x80, 0x03, 0x01};
    query.resize(11, 0);
    query.resize(64, 0xEE);
    const Bytes packet{0x80, 0x0D, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x00, 0xEE};
    const Bytes values{0x80, 0x03, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x0C, 0xFF, 0x0F, 0xEE};
    for (const int length : {64, 11, 8}) {
        const QByteArray tag = QByteArray::number(length);
        QTest::newRow("version query, " + tag) << length << query;
        QTest::newRow("DSP packet, " + tag) << length << packet;
        QTest::newRow("set values, " + tag) << length << values;
    }
}

void TestHidrawLink::sendsTheCommandAndThePadding()
{
    QFETCH(int, featureLength);
    QFETCH(Bytes, command);
    NodeConfig config;
    config.featureLength = std::uint16_t(featureLength);
    HidrawNode *node = testbed.plug(config);
    QVERIFY(node);

    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    QCOMPARE(link.devicePath, node->path);
    QCOMPARE(int(link.hidCaps.featureReportByteLength), featureLength);
    QCOMPARE(int(link.hidCaps.inputReportByteLength), 20);

    QCOMPARE(link.SendDataToUsb(command.data()), 1);
    // A device with shorter feature reports than the commands sees them cut.
    const Bytes head(command.begin(), command.begin() + std::min<std::size_t>(
                                                            featureLength, HidLink::CommandLength));
    QCOMPARE(node->featureReports(), std::vector<Bytes>{padded(head, std::size_t(featureLength))});
    link.closeReadHandle();
    hidplatform::backend().close(link.writeHandle);
}

void TestHidrawLink::driverFailuresAreNotSuccesses_data()
{
    QTest::addColumn<bool>("unplugged");
    QTest::newRow("device refuses the report") << false;
    QTest::newRow("device pulled out") << true;
}

void TestHidrawLink::driverFailuresAreNotSuccesses()
{
    QFETCH(bool, unplugged);
    HidrawNode *node = testbed.plug();
    QVERIFY(node);
    HidLink link(0x0483, 0x0526);
    QCOMPARE(link.OpenUSBHandle(), 0);
    const Bytes query = padded({0x80, 0x03, 0x01}, 11);
    QCOMPARE(link.SendDataToUsb(query.data()), 1);

    if (unplugged)
        QVERIFY(testbed.unplug(node));
    else
        node->model().refuseFeatures(true);
    const std::size_t before = node->featureReports().size();
    QCOMPARE(link.SendDataToUsb(query.data()), 0);
    // The write stays marked pending: later ones do not reach the device.
    node->model().refuseFeatures(false);
    HidLink::Refusal why = HidLink::Refusal::None;
    QCOMPARE(link.SendDataToUsb(query.data(), &why), -1);
    QCOMPARE(why, HidLink::Refusal::WritePending);
    QCOMPARE(node->featureReports().size(), before + (unplugged ? 0 : 1));
    link.closeReadHandle();
    hidplatform::backend().close(link.writeHandle);
}

QTEST_GUILESS_MAIN(TestHidrawLink)
#include "tst_hidrawlink.moc"
