// The monitor's window end to end against the emulated device: start-up, arrival
// and removal, reports in, values out, dragging and closing.

#include "monitorrig.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

using emulator::EmulatedDevice;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Values = std::array<std::uint16_t, 4>;

const QString Lit = QStringLiteral("border-image: url(://LED1);");
const QString Unlit = QStringLiteral("border-image: url(://LED2);");
const QList<double> StartValues{0, 1024, 3072, 4095};

Bytes command(std::initializer_list<std::uint8_t> head)
{
    Bytes b(head);
    b.resize(64, 0);
    return b;
}

void sendMouse(QWidget *widget, QEvent::Type type, Qt::MouseButton button, QPoint pos)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

class StyleChanges : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::StyleChange;
        return false;
    }
};

} // namespace

class TestMonitorWindow : public QObject
{
    Q_OBJECT

private slots:
    void startUpSendsOnlyTheVersionQuery();
    void startWithoutDeviceThenPlugIn();
    void refusedWriteUntilReplug();
    void otherDevicesAreIgnored_data();
    void otherDevicesAreIgnored();
    void lampsShowTheirPicturesAndRestyleOnlyOnChange();
    void draggedAndTypedValuesReachTheDevice();
    void windowDrag_data();
    void windowDrag();
    void closeButtonQuitsAndReaderIsJoined();
};

void TestMonitorWindow::startUpSendsOnlyTheVersionQuery()
{
    emulator::DeviceConfig config;
    config.values = {100, 2000, 3000, 4000};
    Rig rig(true, config);
    QVERIFY(rig.reader() && rig.reader()->isRunning());
    QCOMPARE(rig.received(), (std::vector<Bytes>{command({0x80, 0x03, 0x01})}));
    // The reader listened from its start: the device's answer sets the handles.
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{100, 2000, 3000, 4000}));

    // Shown, the start values are placed again; setting handles sends nothing.
    QVERIFY(rig.show());
    QCOMPARE(rig.rulerValues(), StartValues);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(rig.ruler()->handleX(i), 13 + (rig.ruler()->width() - 26) * StartValues[i] / 4096);
    QCOMPARE(rig.received().size(), std::size_t(1));
}

void TestMonitorWindow::startWithoutDeviceThenPlugIn()
{
    Rig rig(false);
    QVERIFY(!rig.reader());
    const unsigned char query[11] = {0x80, 0x03, 0x01};
    QCOMPARE(rig.window->SendDataToUsb(query), -1);
    rig.window->onSendData();

    rig.device->plug();
    QTRY_VERIFY(rig.reader() && rig.reader()->isRunning());
    QTRY_COMPARE(rig.openReadHandles(), 1);
    rig.device->sendReport(EmulatedDevice::statusReport(1500, true, false));
    QTRY_COMPARE(rig.bar(), 1500.0);
    QTRY_COMPARE(rig.lamps(), (QStringList{Lit, Unlit}));
    // 0x1234 is above the bar's range: the bar stays, the lamps follow.
    rig.device->sendReport(EmulatedDevice::statusReport(0x1234, false, true));
    QTRY_COMPARE(rig.lamps(), (QStringList{Unlit, Lit}));
    QCOMPARE(rig.bar(), 1500.0);
    rig.device->sendReport(EmulatedDevice::valueReport({5, 6, 7, 8}, 1250));
    QTRY_COMPARE(rig.rulerValues(), (QList<double>{5, 6, 7, 8}));

    // Another class of 0x80 report is ignored; values that would pass a neighbour
    // become handle 1's, the last such one winning. A status report behind them shows
    // that they have been dealt with.
    Bytes other = EmulatedDevice::valueReport({1, 2, 3, 4}, 1250);
    other[1] = 0x07;
    rig.device->sendReport(other);
    rig.device->sendReport(EmulatedDevice::valueReport({4095, 4095, 0, 100}, 1250));
    rig.device->sendReport(EmulatedDevice::statusReport(77, false, false));
    QTRY_COMPARE(rig.bar(), 77.0);
    QCOMPARE(rig.rulerValues(), (QList<double>{0, 6, 7, 100}));
    // Nothing was sent: not without the device, not on arrival, not for set handles.
    QVERIFY(rig.received().empty());
}

void TestMonitorWindow::refusedWriteUntilReplug()
{
    Rig rig(true);
    monitor::USBThread *reader = rig.reader();
    const unsigned char query[11] = {0x80, 0x03, 0x01};
    QCOMPARE(rig.window->SendDataToUsb(query), 1);
    rig.device->refuseFeatures(true);
    QCOMPARE(rig.window->SendDataToUsb(query), 0);
    rig.device->refuseFeatures(false);
    QCOMPARE(rig.window->SendDataToUsb(query), -1);
    rig.window->onSendData();
    QCOMPARE(rig.received().size(), std::size_t(3)); // nothing after the refused one

    // A notifier of the test's own hears each change in the same pass as the window's.
    DeviceNotifier witness;
    QSignalSpy removals(&witness, &DeviceNotifier::removed);
    QSignalSpy arrivals(&witness, &DeviceNotifier::arrived);
    rig.device->unplug();
    QTRY_COMPARE(removals.count(), 1);
    QCoreApplication::processEvents();
    QVERIFY(reader->isRunning()); // idle, not ended
    rig.device->plug();
    QTRY_COMPARE(arrivals.count(), 1);
    QCoreApplication::processEvents();
    // The same reader, reading through the new handle; the old one is closed.
    QCOMPARE(rig.window->findChildren<monitor::USBThread *>(), QList<monitor::USBThread *>{reader});
    QCOMPARE(rig.openReadHandles(), 1);
    rig.device->sendReport(EmulatedDevice::statusReport(2500, false, true));
    QTRY_COMPARE(rig.bar(), 2500.0);
    QTRY_COMPARE(rig.lamps(), (QStringList{Unlit, Lit}));
    // Reopening ends the refusal: values go out through the new write handle.
    rig.window->onSendData();
    QCOMPARE(rig.received().back(), command({0x80, 0x03, 0x02, 0, 0, 0, 4, 0, 0x0C, 0xFF, 0x0F}));
}

void TestMonitorWindow::otherDevicesAreIgnored_data()
{
    QTest::addColumn<int>("vendorId");
    QTest::addColumn<int>("productId");
    QTest::addColumn<QString>("path");

    QTest::newRow("other product") << 0x0483 << 0x0527 << QString();
    QTest::newRow("other vendor") << 0x0484 << 0x0526 << QString();
    // Our ids, but a name the matching rule cannot read them from.
    QTest::newRow("path without VID and PID") << 0x0483 << 0x0526 << "\\\\?\\hid#dev_1234#0";
}

void TestMonitorWindow::otherDevicesAreIgnored()
{
    QFETCH(int, vendorId);
    QFETCH(int, productId);
    QFETCH(QString, path);

    emulator::DeviceConfig config;
    config.vendorId = std::uint16_t(vendorId);
    config.productId = std::uint16_t(productId);
    config.path = path.toStdString();
    Rig rig(false, config);
    DeviceNotifier witness;
    QSignalSpy arrivals(&witness, &DeviceNotifier::arrived);
    rig.device->plug();
    QTRY_COMPARE(arrivals.count(), 1);
    QCoreApplication::processEvents();
    QVERIFY(!rig.reader());
    QCOMPARE(rig.openReadHandles(), 0);
}

void TestMonitorWindow::lampsShowTheirPicturesAndRestyleOnlyOnChange()
{
    Rig rig(false);
    QVERIFY(rig.show());
    QWidget *lamp = rig.child<QWidget>("LED5");
    const QColor unlit = lamp->grab().toImage().pixelColor(17, 17);
    QVERIFY2(unlit.red() == unlit.blue() && unlit.green() == unlit.red() && unlit.red() > 60,
             qPrintable(unlit.name()));

    // A style sheet set again reloads its picture: a fifth of a core at 1000 reports/s.
    StyleChanges changes;
    lamp->installEventFilter(&changes);
    QBitArray bits(2);
    bits.setBit(0);
    for (int i = 0; i < 3; ++i)
        rig.window->onDealDataLED(bits);
    QCOMPARE(changes.count, 1);
    QCOMPARE(rig.lamps(), (QStringList{Lit, Unlit}));
    const QColor lit = lamp->grab().toImage().pixelColor(17, 17);
    QVERIFY2(lit.blue() > 200 && lit.blue() - lit.red() > 80, qPrintable(lit.name()));
    rig.window->onDealDataLED(QBitArray(2));
    QCOMPARE(changes.count, 2);
    QCOMPARE(rig.lamps(), (QStringList{Unlit, Unlit}));
}

void TestMonitorWindow::draggedAndTypedValuesReachTheDevice()
{
    Rig rig(true);
    QVERIFY(rig.show());
    SliderRuler *ruler = rig.ruler();
    const int h = ruler->height();
    const QPoint grip(qRound(ruler->handleX(1)),
                      int(h * 0.5 - (h / 5) * 0.25 + h / 7 + (h / 6) / 2.0));
    const QPoint target = grip + QPoint(60, 0);
    const int v2 = int(4096.0 * (target.x() - 13) / (ruler->width() - 26));
    QTest::mousePress(ruler, Qt::LeftButton, Qt::NoModifier, grip);
    sendMouse(ruler, QEvent::MouseMove, Qt::LeftButton, target);
    QCOMPARE(rig.received().size(), std::size_t(1)); // nothing until the release
    QTest::mouseRelease(ruler, Qt::LeftButton, Qt::NoModifier, target);
    QCOMPARE(rig.received().size(), std::size_t(2));
    QCOMPARE(rig.received()[1], command({0x80, 0x03, 0x02, 0, 0, quint8(v2 & 0xFF), quint8(v2 >> 8),
                                         0x00, 0x0C, 0xFF, 0x0F}));
    QCOMPARE(rig.device->values(), (Values{0, quint16(v2), 3072, 4095}));
    // The device echoes what it stored; the ruler keeps showing it.
    QTRY_COMPARE(ruler->getValue(1), double(v2));

    QLineEdit *edit = rig.child<QLineEdit>("lineEditC");
    edit->clear();
    QTest::keyClicks(edit, "2222");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(rig.received().size(), std::size_t(3));
    QCOMPARE(rig.received()[2], command({0x80, 0x03, 0x02, 0, 0, quint8(v2 & 0xFF), quint8(v2 >> 8),
                                         0xAE, 0x08, 0xFF, 0x0F}));
    QCOMPARE(rig.device->values(), (Values{0, quint16(v2), 2222, 4095}));
}

void TestMonitorWindow::windowDrag_data()
{
    QTest::addColumn<QString>("target"); // object name of the widget pressed
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("moves");

    QTest::newRow("background, left button") << "centralwidget" << int(Qt::LeftButton) << true;
    QTest::newRow("lamp, left button") << "LED5" << int(Qt::LeftButton) << true;
    QTest::newRow("background, right button") << "centralwidget" << int(Qt::RightButton) << false;
    QTest::newRow("ruler keeps the mouse") << "Ruler" << int(Qt::LeftButton) << false;
}

void TestMonitorWindow::windowDrag()
{
    QFETCH(QString, target);
    QFETCH(int, button);
    QFETCH(bool, moves);

    Rig rig(false);
    QVERIFY(rig.show());
    rig.window->move(100, 100);
    const QPoint start = rig.window->pos();
    QWidget *widget = rig.window->findChild<QWidget *>(target);
    QVERIFY(widget);
    const QPoint at(widget->width() / 2, qMin(4, widget->height() / 2));
    const auto mouseButton = Qt::MouseButton(button);
    sendMouse(widget, QEvent::MouseButtonPress, mouseButton, at);
    sendMouse(widget, QEvent::MouseMove, mouseButton, at + QPoint(30, 20));
    sendMouse(widget, QEvent::MouseButtonRelease, mouseButton, at + QPoint(30, 20));
    // Released: moving the mouse no longer moves the window.
    sendMouse(widget, QEvent::MouseMove, Qt::NoButton, at + QPoint(60, 60));
    QCOMPARE(rig.window->pos(), moves ? start + QPoint(30, 20) : start);
}

void TestMonitorWindow::closeButtonQuitsAndReaderIsJoined()
{
    Rig rig(true);
    QVERIFY(rig.show());
    monitor::USBThread *reader = rig.reader();
    QSignalSpy finished(reader, &QThread::finished);
    QCOMPARE(rig.openReadHandles(), 1);

    auto *close = rig.child<QToolButton>("toolButton");
    QCOMPARE(close->styleSheet(), QString("border-image: url(:/CLOSE1);"));
    QVERIFY(!QImage(":/CLOSE1").isNull());
    QTimer::singleShot(0, close, [close] {
        QTest::mouseClick(close, Qt::LeftButton, Qt::NoModifier, close->rect().center());
    });
    QTimer stuck; // a close that does not quit fails instead of hanging
    connect(&stuck, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    stuck.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    stuck.stop();

    QVERIFY(reader->isRunning()); // quitting alone leaves the reader to the window
    rig.window.reset();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(rig.openReadHandles(), 0);
}

QTEST_MAIN(TestMonitorWindow)
#include "tst_monitorwindow.moc"
