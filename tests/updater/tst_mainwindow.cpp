// The updater's window against the emulated device: its form and texts in both
// languages, the ring, the version query, notifications, the writer's messages,
// dragging and closing.
#include "emulateddevice.h"
#include "helptext.h"
#include "roundcircle.h"
#include "updaterfixture.h"
#include "usbthread.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {
const QString LowerCasePath = "\\\\?\\hid#vid_0483&pid_0526#8&1f2e3d&0&0000#"
                              "{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

class TestMainWindow : public QObject
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

    void form();
    void texts_data();
    void texts();
    void ringFollowsTheLink();
    void versionQueryAfterOneSecond();
    void notificationsAndLatches();
    void notificationForAnotherDevice();
    void equipmentNotFound_data();
    void equipmentNotFound();
    void failedToOpenDevice();
    void refusedWriteIsSilent();
    void dragWithLeftButtonOnly();
    void dragStartingOnAButtonDoesNotMove();
    void helpButtonShowsOneDialog();
    void closingJoinsEveryReader();

private:
    static int readers(const QObject &window) { return window.findChildren<USBThread *>().size(); }
    static RoundCircle *ring(const QWidget &w) { return w.findChild<RoundCircle *>("roundCircle"); }
    static void send(QWidget *to, QEvent::Type type, QPoint at, Qt::MouseButton button)
    {
        QMouseEvent event(type, at, to->mapToGlobal(at), button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton
                                                             : Qt::MouseButtons(button),
                          Qt::NoModifier);
        QApplication::sendEvent(to, &event);
    }
    hidplatform::EmulatedBackend backend;
};

void TestMainWindow::form()
{
    TestWindow window;
    QCOMPARE(window.size(), QSize(538, 201));
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    for (const char *name : {"centralWidget", "roundCircle", "progressBarColor", "toolButton_2",
                             "toolButton_4", "TBFlush", "line_path", "LB_VersionTip", "TB_Help"})
        QVERIFY2(window.findChild<QWidget *>(name), name);
    QCOMPARE(window.findChild<QWidget *>("TBFlush")->geometry(), QRect(300, 110, 161, 36));
    QCOMPARE(window.findChild<QWidget *>("progressBarColor")->geometry(), QRect(40, 143, 431, 41));
    QVERIFY(!window.findChild<QWidget *>("toolButton_2")->isEnabled());
    QVERIFY(window.findChild<QWidget *>("TBFlush")->isEnabled());
    QVERIFY(!window.findChild<QWidget *>("line_path")->isEnabled());
    QCOMPARE(ring(window)->getBgColorStart(), QColor(52, 229, 20));
    QCOMPARE(window.findChild<QWidget *>("progressBarColor")->property("barColor").value<QColor>(),
             QColor(85, 255, 0));
}

void TestMainWindow::texts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("flush");
    QTest::newRow("English") << int(QLocale::English) << "RivetUpdateOff"
                             << "DownLoad"
                             << "File Path";
    QTest::newRow("German") << int(QLocale::German) << "RivetUpdateOff"
                            << "DownLoad"
                            << "File Path";
    QTest::newRow("Chinese") << int(QLocale::Chinese) << "Rivet离线更新"
                             << "下载"
                             << "文件路径";
}

void TestMainWindow::texts()
{
    QFETCH(int, language);
    QFETCH(QString, title);
    QFETCH(QString, start);
    QFETCH(QString, flush);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    TestWindow window;
    QCOMPARE(window.windowTitle(), title);
    QCOMPARE(window.findChild<QToolButton *>("toolButton_2")->text(), start);
    QCOMPARE(window.findChild<QToolButton *>("TBFlush")->text(), flush);

    // Reachable only through the meta-object system.
    QVERIFY(QMetaObject::invokeMethod(&window, "Slot_SetLanguage", Q_ARG(int, QLocale::Chinese)));
    QCOMPARE(window.findChild<QToolButton *>("toolButton_2")->text(), QStringLiteral("开始下载"));
    QCOMPARE(window.findChild<QToolButton *>("TBFlush")->text(), QStringLiteral("更新"));
    QVERIFY(QMetaObject::invokeMethod(&window, "Slot_SetLanguage", Q_ARG(int, QLocale::French)));
    QCOMPARE(window.findChild<QToolButton *>("TBFlush")->text(), QStringLiteral("File Path"));
}

void TestMainWindow::ringFollowsTheLink()
{
    EmulatedDevice device(backend);
    {
        TestWindow window;
        QVERIFY(!ring(window)->getClockWise());
        QCOMPARE(ring(window)->getPieColor1Start(), QColor(255, 0, 0));
        QCOMPARE(ring(window)->getPieColor1End(), QColor(255, 0, 0));

        device.plug();
        QTRY_VERIFY(ring(window)->getClockWise());
        QCOMPARE(ring(window)->getPieColor1Start(), QColor(0, 0, 255));
        device.unplug();
        QTRY_VERIFY(!ring(window)->getClockWise());
        QCOMPARE(ring(window)->getPieColor1End(), QColor(255, 0, 0));
    }
    device.attach();
    TestWindow connected;
    QVERIFY(ring(connected)->getClockWise());
    QCOMPARE(ring(connected)->getPieColor1Start(), QColor(0, 0, 255));
}

void TestMainWindow::versionQueryAfterOneSecond()
{
    EmulatedDevice device(backend);
    device.attach();
    TestWindow window;
    QCOMPARE(readers(window), 1);
    QTest::qWait(500);
    QVERIFY(device.featureReports().empty());
    QTRY_COMPARE_WITH_TIMEOUT(int(window.deviceVersionValue()), 1250, 3000);
    const auto sent = device.featureReports();
    QCOMPARE(int(sent.size()), 1);
    QCOMPARE(int(sent[0].size()), 64);
    QCOMPARE(int(sent[0][0]), 0x80);
    QCOMPARE(int(sent[0][1]), 0x03);
    QCOMPARE(int(sent[0][2]), 0x01);
    QCOMPARE(window.versionReportValue().size(), 20);
    QCOMPARE(window.versionReportValue().mid(6, 2), QByteArray::fromHex("E204"));
}

void TestMainWindow::notificationsAndLatches()
{
    DeviceConfig config;
    config.path = LowerCasePath.toStdString();
    config.version = 1234;
    EmulatedDevice device(backend, config);
    TestWindow window;
    QCOMPARE(readers(window), 0);

    device.plug();
    // The arrival reopens the device, starts a reader and asks for the version.
    QTRY_COMPARE(int(window.deviceVersionValue()), 1234);
    QCOMPARE(readers(window), 1);
    QVERIFY(window.link().deviceFound);

    // A second arrival without a removal is ignored.
    backend.plug(&device);
    QTest::qWait(50);
    QCOMPARE(readers(window), 1);
    QCOMPARE(int(device.featureReports().size()), 1);

    device.unplug();
    QTRY_COMPARE(window.link().readHandle, hidplatform::InvalidHandle);
    QVERIFY(window.currentReader() == nullptr);
    QTRY_VERIFY(window.findChildren<USBThread *>().first()->isFinished());
    QCOMPARE(backend.openReadHandles(&device), 0);
    // The write side stays as it was until the next search.
    QVERIFY(window.link().writeHandle != hidplatform::InvalidHandle);

    // A second removal is ignored; the next arrival makes a new reader.
    backend.unplug(&device);
    device.plug();
    QTRY_COMPARE(readers(window), 2);
    QTRY_COMPARE(int(device.featureReports().size()), 2);
    QCOMPARE(backend.openReadHandles(&device), 1);
}

void TestMainWindow::notificationForAnotherDevice()
{
    DeviceConfig config;
    config.productId = 0x0527;
    EmulatedDevice other(backend, config);
    TestWindow window;
    other.plug();
    QTest::qWait(50);
    QCOMPARE(readers(window), 0);
    QVERIFY(!ring(window)->getClockWise());
}

void TestMainWindow::equipmentNotFound_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("button");
    QTest::newRow("English") << int(QLocale::English) << "Warning"
                             << "Equipment not found"
                             << "&Yes";
    QTest::newRow("Chinese") << int(QLocale::Chinese) << "信息"
                             << "设备未找到"
                             << "确 定";
}

void TestMainWindow::equipmentNotFound()
{
    QFETCH(int, language);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, button);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    TestWindow window;
    ModalHand hand;
    QCOMPARE(window.SendDataToUsb(bootprotocol::versionQuery().data()), -1);
    QCOMPARE(hand.boxes.size(), 1);
    QCOMPARE(hand.boxes[0].title, title);
    QCOMPARE(hand.boxes[0].text, text);
    QCOMPARE(hand.boxes[0].buttons, QStringList{button});
}

void TestMainWindow::failedToOpenDevice()
{
    DeviceConfig config;
    config.openableForWriting = false;
    EmulatedDevice device(backend, config);
    device.attach();
    TestWindow window;
    ModalHand hand;
    window.Slot_SengReadCommand();
    QCOMPARE(hand.texts(), QStringList{"Failed to open device"});
    QCOMPARE(hand.boxes[0].title, QStringLiteral("Warning"));
}

void TestMainWindow::refusedWriteIsSilent()
{
    EmulatedDevice device(backend);
    device.attach();
    TestWindow window;
    ModalHand hand;
    device.refuseFeatures(true);
    QCOMPARE(window.SendDataToUsb(bootprotocol::versionQuery().data()), 0);
    device.refuseFeatures(false);
    QCOMPARE(window.SendDataToUsb(bootprotocol::versionQuery().data()), -1);
    QTest::qWait(30);
    QVERIFY(hand.boxes.isEmpty());
    QCOMPARE(int(device.featureReports().size()), 1);
}

void TestMainWindow::dragWithLeftButtonOnly()
{
    TestWindow window;
    window.move(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    send(&window, QEvent::MouseButtonPress, QPoint(520, 100), Qt::RightButton);
    send(&window, QEvent::MouseMove, QPoint(540, 130), Qt::RightButton);
    QCOMPARE(window.pos(), start);
    send(&window, QEvent::MouseButtonRelease, QPoint(540, 130), Qt::RightButton);

    send(&window, QEvent::MouseButtonPress, QPoint(520, 100), Qt::LeftButton);
    send(&window, QEvent::MouseMove, QPoint(540, 130), Qt::LeftButton);
    QCOMPARE(window.pos(), start + QPoint(20, 30));
    // Releasing any button ends the drag.
    send(&window, QEvent::MouseButtonRelease, QPoint(540, 130), Qt::RightButton);
    const QPoint after = window.pos();
    send(&window, QEvent::MouseMove, QPoint(560, 150), Qt::NoButton);
    QCOMPARE(window.pos(), after);
}

void TestMainWindow::dragStartingOnAButtonDoesNotMove()
{
    TestWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *button = window.findChild<QToolButton *>("TB_Help");
    const QPoint start = window.pos();
    send(button, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    send(button, QEvent::MouseMove, QPoint(40, 40), Qt::LeftButton);
    send(button, QEvent::MouseButtonRelease, QPoint(40, 40), Qt::LeftButton);
    QCOMPARE(window.pos(), start);
}

void TestMainWindow::helpButtonShowsOneDialog()
{
    TestWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *button = window.findChild<QToolButton *>("TB_Help");
    for (int press = 0; press < 2; ++press) {
        QTest::mouseClick(button, Qt::LeftButton);
        const QList<HelpText *> dialogs = window.findChildren<HelpText *>();
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(dialogs.first()->isVisible());
        dialogs.first()->hide();
    }
}

void TestMainWindow::closingJoinsEveryReader()
{
    EmulatedDevice device(backend);
    device.attach();
    auto *window = new TestWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // An abandoned reader beside the current one.
    device.unplug();
    device.plug();
    QTRY_COMPARE(readers(*window), 2);
    const QList<USBThread *> threads = window->findChildren<USBThread *>();
    QPointer<USBThread> current = window->currentReader();
    QVERIFY(current && current->isRunning());

    window->close(); // what Alt+F4 does
    QVERIFY(!window->isVisible());
    delete window;
    QVERIFY(current.isNull());
    QCOMPARE(backend.openReadHandles(&device), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
