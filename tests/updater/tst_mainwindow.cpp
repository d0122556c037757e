// The updater's window against the emulated device: texts, notifications and readers,
// refused writes, another program's update, dragging, the help dialog and its pictures.
#include "updaterfixture.h"
#include <emulator/emulateddevice.h>
#include <flash/usbthread.h>
#include <gauges/roundcircle.h>
#include <i18n/qttranslations.h>
#include <updater/helptext.h>

#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {

int countPixels(const QImage &image, const QColor &color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == color;
    return count;
}

// Presses `button` on `on` (unless `press` is false), moves by (30, 15), releases and
// moves on: how far `window` had gone after the first move and after the last.
QList<QPoint> dragged(QWidget *window, QWidget *on, Qt::MouseButton button, bool press = true)
{
    const auto send = [on, button](QEvent::Type type, QPoint at) {
        const auto held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, at, on->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QApplication::sendEvent(on, &event);
    };
    const QPoint start = window->pos();
    if (press)
        send(QEvent::MouseButtonPress, QPoint(5, 5));
    send(QEvent::MouseMove, QPoint(35, 20));
    QList<QPoint> moved{window->pos() - start};
    send(QEvent::MouseButtonRelease, QPoint(35, 20));
    send(QEvent::MouseMove, QPoint(60, 50));
    return moved << window->pos() - start;
}

} // namespace

class TestMainWindow : public WindowTest
{
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void notificationsAndLatches();
    void refusedWrites_data();
    void refusedWrites();
    void idleWindowStaysOutOfAnotherUpdate();
    void dragWithLeftButtonOnlyAndOneHelpDialog();
    void helpPictures_data();
    void helpPictures();
    void helpPictureShownOnce();
    void qtTextsInChinese();

private:
    QTemporaryDir dir;
    static int readers(const QObject &window) { return window.findChildren<USBThread *>().size(); }
    static bool ringShows(const QWidget &window, bool connected)
    {
        auto *ring = window.findChild<RoundCircle *>("roundCircle");
        const QColor colour = connected ? QColor(0, 0, 255) : QColor(255, 0, 0);
        return ring->getClockWise() == connected && ring->getPieColor1Start() == colour &&
               ring->getPieColor1End() == colour;
    }
    static QString text(const QWidget &window, const char *name)
    {
        return window.findChild<QToolButton *>(name)->text();
    }
};

void TestMainWindow::texts_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("texts"); // title, start button, file button
    QTest::newRow("English") << int(QLocale::English)
                             << QStringList{"RivetUpdateOff", "DownLoad", "File Path"};
    QTest::newRow("Chinese") << int(QLocale::Chinese)
                             << QStringList{"Rivet离线更新", "下载", "文件路径"};
}

void TestMainWindow::texts()
{
    QFETCH(int, language);
    QFETCH(QStringList, texts);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    TestWindow window(backend);
    QCOMPARE(
        QStringList({window.windowTitle(), text(window, "toolButton_2"), text(window, "TBFlush")}),
        texts);
    QVERIFY(!window.findChild<QWidget *>("toolButton_2")->isEnabled());
    QVERIFY(window.findChild<QWidget *>("TBFlush")->isEnabled());
    // Disabled, the start button is dimmed: its white text goes grey.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *start = window.findChild<QToolButton *>("toolButton_2");
    const auto brightest = [&window, start] {
        const QImage shot =
            window.grab(QRect(start->mapTo(&window, QPoint()), start->size())).toImage();
        int most = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                most = qMax(most, shot.pixelColor(x, y).lightness());
        return most;
    };
    const int disabled = brightest();
    start->setEnabled(true);
    const int enabled = brightest();
    QVERIFY2(enabled > 240 && disabled < 140,
             qPrintable(QString("%1 %2").arg(enabled).arg(disabled)));

    // Reachable only through the meta-object system.
    QVERIFY(QMetaObject::invokeMethod(&window, "Slot_SetLanguage", Q_ARG(int, QLocale::Chinese)));
    QCOMPARE(text(window, "toolButton_2"), QStringLiteral("开始下载"));
    QCOMPARE(text(window, "TBFlush"), QStringLiteral("更新"));
}

void TestMainWindow::notificationsAndLatches()
{
    DeviceConfig otherProduct;
    otherProduct.productId = 0x0527;
    EmulatedDevice other(backend, otherProduct);
    DeviceConfig config;
    config.path = "\\\\?\\hid#vid_0483&pid_0526#8&1f2e3d&0&0000";
    config.version = 1234;
    EmulatedDevice device(backend, config);
    TestWindow window(backend);
    QVERIFY(ringShows(window, false));

    other.plug();
    QTest::qWait(50);
    QCOMPARE(readers(window), 0);
    QVERIFY(ringShows(window, false));

    // The arrival (lower-case path) reopens the device, starts a reader and asks
    // for the version.
    device.plug();
    QTRY_COMPARE(int(window.deviceVersionValue()), 1234);
    QCOMPARE(readers(window), 1);
    QVERIFY(ringShows(window, true));

    backend.plug(&device);
    QTest::qWait(50);
    QCOMPARE(readers(window), 1);
    QCOMPARE(int(device.featureReports().size()), 1);

    device.unplug();
    QTRY_COMPARE(window.link().readHandle(), hidplatform::InvalidHandle);
    QVERIFY(window.currentReader() == nullptr);
    QTRY_COMPARE(readers(window), 0);
    QCOMPARE(backend.openReadHandles(&device), 0);
    QVERIFY(ringShows(window, false));
    // The write side stays as it was until the next search.
    QVERIFY(window.link().writeHandle() != hidplatform::InvalidHandle);

    // A second removal is ignored; the next arrival makes a new reader.
    backend.unplug(&device);
    device.plug();
    QTRY_COMPARE(readers(window), 1);
    QTRY_COMPARE(int(device.featureReports().size()), 2);
    QCOMPARE(backend.openReadHandles(&device), 1);
}

void TestMainWindow::refusedWrites_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("box");
    // One Yes button only: asking for Yes and No makes Qt show both.
    QTest::newRow("not found") << int(QLocale::English) << false
                               << "Warning | Equipment not found | &Yes";
    QTest::newRow("not found, Chinese")
        << int(QLocale::Chinese) << false << "信息 | 设备未找到 | 确 定";
    QTest::newRow("cannot open") << int(QLocale::English) << true
                                 << "Warning | Failed to open device | &Yes";
}

void TestMainWindow::refusedWrites()
{
    QFETCH(int, language);
    QFETCH(bool, present);
    QFETCH(QString, box);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    DeviceConfig config;
    config.openableForWriting = false;
    EmulatedDevice device(backend, config);
    if (present)
        device.attach();
    TestWindow window(backend);
    ModalHand hand;
    QCOMPARE(window.SendDataToUsb(bootprotocol::versionQuery().data()), -1);
    QCOMPARE(hand.boxes, QStringList{box});
    QVERIFY(device.featureReports().empty());
    // Caps come from the read side when the write side cannot be opened.
    QCOMPARE(int(window.link().caps().featureReportByteLength), present ? 64 : 0);
}

void TestMainWindow::idleWindowStaysOutOfAnotherUpdate()
{
    // The device answers another program's update: "U", then "V" after "V".
    DeviceConfig config;
    config.tracePath = dir.filePath("trace.txt").toStdString();
    config.unsolicited = {
        {100, {0x80, 0x0C, 0x55}}, {110, {0x80, 0x0C, 0x56}}, {150, {0x80, 0x0C, 0x56}}};
    EmulatedDevice device(backend, config);
    device.attach();
    TestWindow window(backend, Hasty);
    ModalHand hand;
    QTRY_VERIFY(window.deviceVersionValue() != 0);
    QTest::qWait(400);
    // Only the window's own version query reached the device.
    const QStringList trace =
        QString(readFile(dir.filePath("trace.txt"))).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(trace.size(), 1);
    QVERIFY2(trace.first().section(' ', 1).startsWith("800301"), qPrintable(trace.first()));

    // While another program updates it, the start button says so and sends nothing.
    flash::DeviceLock other(window.link().devicePath());
    QVERIFY(other.tryAcquire());
    QVERIFY(writeFile(dir.filePath("image.fw"), firmwareBytes(200, 1250, 240)));
    hand.files << dir.filePath("image.fw");
    QTest::mouseClick(window.findChild<QToolButton *>("TBFlush"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QToolButton *>("toolButton_2"), Qt::LeftButton);
    QTRY_COMPARE(hand.boxes,
                 QStringList{"Warning | The device is being updated by another program | &Yes"});
    QCOMPARE(device.featureReports().size(), std::size_t(1));
    QVERIFY(window.findChild<QToolButton *>("toolButton_2")->isEnabled());
}

void TestMainWindow::dragWithLeftButtonOnlyAndOneHelpDialog()
{
    TestWindow window(backend);
    HelpText help;
    const QList<QPoint> still{QPoint(), QPoint()};
    for (QWidget *dialog : {static_cast<QWidget *>(&window), static_cast<QWidget *>(&help)}) {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dragged(dialog, dialog, Qt::RightButton), still);
        QCOMPARE(dragged(dialog, dialog, Qt::LeftButton, false), still);
        QCOMPARE(dragged(dialog, dialog, Qt::LeftButton), QList<QPoint>({{30, 15}, {30, 15}}));
    }
    auto *button = window.findChild<QToolButton *>("TB_Help");
    QCOMPARE(dragged(&window, button, Qt::LeftButton), still);
    // The help button shows one dialog, however often it is pressed.
    for (int press = 0; press < 2; ++press) {
        QTest::mouseClick(button, Qt::LeftButton);
        const QList<HelpText *> dialogs = window.findChildren<HelpText *>();
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(dialogs.first()->isVisible());
        dialogs.first()->hide();
    }
}

void TestMainWindow::helpPictures_data()
{
    QTest::addColumn<int>("productId");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("words"); // a line of the help text shown without a picture
    QTest::newRow("base de") << 0x0522 << int(QLocale::German) << "Base_En.jpg"
                             << "Help" << QString();
    QTest::newRow("wheel zh") << 0x0524 << int(QLocale::Chinese) << "Wheel_Ch.jpg"
                              << "帮助" << QString();
    QTest::newRow("rivet zh") << 0x0526 << int(QLocale::Chinese) << QString() << "帮助"
                              << "错误 1: 设备在 10 秒内没有进入更新模式";
    QTest::newRow("rivet en") << 0x0526 << int(QLocale::English) << QString() << "Help"
                              << "Error 1: the device did not enter update mode within 10 s";
}

void TestMainWindow::helpPictures()
{
    QFETCH(int, productId);
    QFETCH(int, language);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, words);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    QCOMPARE(HelpText().findChild<QLabel *>("LB_Help")->text(), caption);
    const QString path = HelpText::helpPicturePath(productId, QLocale::Language(language));
    if (name.isEmpty()) {
        QVERIFY(path.isEmpty());
        // The help button then shows words in the user's language, not a black box.
        TestWindow window(backend);
        QTest::mouseClick(window.findChild<QToolButton *>("TB_Help"), Qt::LeftButton);
        auto *area = window.findChild<HelpText *>()->findChild<QTextEdit *>("textEdit");
        QVERIFY(QTest::qWaitForWindowExposed(area->window()));
        const QString text = area->toPlainText();
        QVERIFY2(text.contains(words) && text.contains(window.cacheFolder()), qPrintable(text));
        const QImage shot = area->grab().toImage();
        int light = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                light += shot.pixelColor(x, y).lightness() > 150;
        QVERIFY2(light > 1000, qPrintable(QString::number(light)));
        return;
    }
    // Each picture lies next to the program and fits the text area without scrolling.
    QCOMPARE(path, QCoreApplication::applicationDirPath() + "/file/Help/" + name);
    QImageReader reader(path);
    const QImage picture = reader.read();
    QVERIFY2(!picture.isNull(), qPrintable(reader.errorString()));
    QVERIFY(picture.width() <= 660 && picture.height() <= 420);
}

void TestMainWindow::helpPictureShownOnce()
{
#ifdef Q_OS_WIN
    const QString folder = dir.filePath("O'Brien & Co 50%"); // no < > in Windows names
#else
    const QString folder = dir.filePath("O'Brien & <Co> 50%");
#endif
    QVERIFY(QDir().mkpath(folder));
    QImage picture(60, 50, QImage::Format_RGB32);
    picture.fill(QColor(0, 200, 0));
    QVERIFY(picture.save(folder + "/help.png"));

    QWidget window;
    HelpText help(&window);
    auto *close = help.findChild<QPushButton *>("TB_Close");
    // As the help button does each time: the same dialog keeps one picture, even from
    // a folder whose name is markup. (Pictures may be scaled to the screen, so the
    // first showing gives the size of one.)
    int onePicture = 0;
    for (int round = 0; round < 3; ++round) {
        help.onInsertTheImagic(folder + "/help.png");
        help.onOpenHelpTextWidget();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        const int shown = countPixels(help.findChild<QTextEdit *>("textEdit")->grab().toImage(),
                                      QColor(0, 200, 0));
        onePicture = round == 0 ? shown : onePicture;
        QVERIFY(shown >= 60 * 50);
        QCOMPARE(shown, onePicture);
        QTest::mousePress(close, Qt::LeftButton);
        QVERIFY(help.isVisible());
        QTest::mouseRelease(close, Qt::LeftButton);
        QVERIFY(!help.isVisible());
    }
}

void TestMainWindow::qtTextsInChinese()
{
    // Qt's own texts follow the user's language: the file dialog and the standard
    // buttons of message boxes.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QVERIFY(i18n::installQtTranslations(*qApp));
    TestWindow window(backend);
    QStringList seen;
    QTimer hand;
    connect(&hand, &QTimer::timeout, [&] {
        // The tip about no file chosen closes too.
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->buttons().first()->click();
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (auto *label : dialog->findChildren<QLabel *>())
            seen << label->text();
        for (auto *button : dialog->findChildren<QPushButton *>())
            seen << button->text();
        dialog->reject();
    });
    hand.start(10);
    QTest::mouseClick(window.findChild<QToolButton *>("TBFlush"), Qt::LeftButton);
    for (const char *text : {"查找范围：", "文件名称(&N)：", "打开(&O)", "取消"})
        QVERIFY2(seen.contains(text), qPrintable(seen.join(", ")));
    QMessageBox box(QMessageBox::Information, "提示", "更新成功",
                    QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QString("是(&Y)"));
    delete qApp->findChild<QTranslator *>(); // takes itself out of the application
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
