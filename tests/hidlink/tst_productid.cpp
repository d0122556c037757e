// Built for product 0x1526: the link finds that device and its arrival path matches
// the link's own id texts (a leading "0" glued to the digits would give "01526").
#include <emulator/emulateddevice.h>
#include <hidlink/deviceidentity.h>
#include <hidlink/deviceids.h>
#include <hidlink/hidlink.h>

#include <QtTest>

class TestProductId : public QObject
{
    Q_OBJECT
private slots:
    void buildsProductIsFoundAndMatched();
};

void TestProductId::buildsProductIsFoundAndMatched()
{
    hidplatform::EmulatedBackend backend;
    emulator::DeviceConfig config;
    config.productId = 0x1526;
    emulator::EmulatedDevice device(backend, config);
    device.attach();

    HidLink link(backend, deviceids::VendorId, deviceids::ProductId);
    QCOMPARE(link.productIdText, QString("1526"));
    QCOMPARE(link.OpenUSBHandle(), 0);
    const QString path = QString::fromStdString(device.info().path);
    QVERIFY(deviceidentity::pathMatches(path, link.vendorIdText, link.productIdText));
}

QTEST_GUILESS_MAIN(TestProductId)
#include "tst_productid.moc"
