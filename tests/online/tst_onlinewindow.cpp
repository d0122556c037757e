// The online check in the real updater window: an emulated device, a real FTP server on
// loopback, real message boxes answered as they appear, and the downloaded image flashed.
#include "fakeftpserver.h"
#include "ftpserverfixture.h"
#include "updaterfixture.h"
#include <emulator/emulateddevice.h>
#include <gauges/progressbarcolor.h>
#include <updater/online/modeltable.h>

#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QToolButton>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {

// Picks the first entry of the background's context menu; returns the entries it had.
QStringList chooseFromMenu(QMainWindow &window)
{
    QStringList entries;
    QTimer hand;
    hand.setInterval(10);
    QObject::connect(&hand, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        hand.stop();
        for (QAction *action : menu->actions())
            entries << action->text();
        menu->setActiveAction(menu->actions().first());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    hand.start();
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, window.mapToGlobal(at));
    QApplication::sendEvent(window.centralWidget(), &event);
    return entries;
}

const QString Question = QString::fromUtf8("new firmware,updata or not？");
const QString NetworkMessage = "checking your netWork,And Restart!";
const QString Downloaded = "Update is Successful";
const QString Failed = "Update is failed";
const QByteArray Old = "an older image";
constexpr int FlashTimeoutMs = 15000;

} // namespace

class TestOnlineWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(updater);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        cache = QCoreApplication::applicationDirPath() + "/file/";
        // This run's own: another run of this test would share and empty it.
        qputenv("XDG_DATA_HOME", QFile::encodeName(userData.path()));
        userCache =
            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/file/";
    }

    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(QDir(cache).removeRecursively() && QDir(userCache).removeRecursively());
    }

    // F5, the question answered Yes, the download, and for a sound image the flash.
    void fullFlow_data()
    {
        QTest::addColumn<QByteArray>("image"); // null: missing on the server
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("programWritable");

        const QByteArray sound = firmwareBytes(400, 1260, 216);
        QTest::newRow("sound image") << sound << QStringList({Question, Downloaded}) << true;
        // Only an image that passes the file checks may be started.
        QTest::newRow("one byte more than the header says")
            << sound + '\x01' << QStringList({Question, Downloaded, "File Format Is Error"})
            << true;
        QTest::newRow("image missing") << QByteArray() << QStringList({Question, Failed}) << true;
        QTest::newRow("program folder not writable: the user's cache")
            << sound << QStringList({Question, Downloaded}) << false;
    }

    void fullFlow()
    {
        QFETCH(QByteArray, image);
        QFETCH(QStringList, texts);
        QFETCH(bool, programWritable);
        const bool sound = texts.last() == Downloaded;

        QVERIFY(server.put("VKP1000/VKP1000.txt", "1260\r\n"));
        QFile::remove(server.root() + "/VKP1000/1260.bin");
        QVERIFY(image.isNull() || server.put("VKP1000/1260.bin", image));
        EmulatedDevice device(backend); // version 1250: model VKP1000
        auto window = connectedWindow(device);
        QVERIFY(window);
        QTemporaryDir program;
        if (!programWritable) {
            // Nothing can be written below a regular file, not even by root.
            QVERIFY(writeFile(program.filePath("updater"), "a program"));
            window->setProgramFolder(program.filePath("updater"));
        }
        const QString cache = programWritable ? this->cache : userCache;
        // The bar follows the bytes against the size the server announced.
        auto *bar = window->findChild<ProgressBarColor *>("progressBarColor");
        QPair<double, double> peak; // value, range
        QObject::connect(bar, &ProgressBarColor::valueChanged, bar, [&](double value) {
            if (value > peak.first)
                peak = {value, bar->getMaxValue()};
        });

        ModalHand hand;
        hand.answers[Question] = QMessageBox::Yes;
        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(hand.texts(), texts);
        if (!image.isNull())
            QCOMPARE(peak, qMakePair(double(image.size()), double(image.size())));
        QCOMPARE(hand.boxes[0], "Information | " + Question + " | &Yes | &No");
        QCOMPARE(hand.details[0], QString("icon %1, default &No").arg(QMessageBox::Information));
        QCOMPARE(button(*window, "toolButton_2")->isEnabled(), sound);
        QCOMPARE(button(*window, "TBFlush")->isEnabled(), !sound);
        QVERIFY(!QFile::exists(cache + "VKP1000/VKP1000.txt"));
        const QString imagePath = QDir::cleanPath(cache + "VKP1000/1260.bin");
        QCOMPARE(readFile(imagePath), image.isNull() ? QByteArray("<none>") : image);
        QVERIFY(programWritable || !QFile::exists(this->cache + "VKP1000/1260.bin"));
        if (!sound)
            return;

        QCOMPARE(window->findChild<QLineEdit *>("line_path")->text(), imagePath);
        QString serverName;
        QMetaObject::invokeMethod(window.get(), "SetFileFlushName",
                                  Q_RETURN_ARG(QString, serverName));
        QCOMPARE(serverName, QString("VKP1000/1260.bin"));
        QTest::mouseClick(button(*window, "toolButton_2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window->exitCode, 0, FlashTimeoutMs);
        QCOMPARE(hand.texts().last(), QString("Update Complete!\nClick OK to close the software!"));
        QVERIFY(device.imagesMatchFile(imagePath.toStdString()));
    }

    // A Yes that brings no new image: the older one stays as it was and the notice says so.
    void downloadFails_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("100 MiB for an announced 1 KiB") << "flood";
        // rename(2) cannot put a file in the place of a folder.
        QTest::newRow("the cached image cannot be replaced") << "folder";
    }

    void downloadFails()
    {
        QFETCH(QString, fault);
        const QString marker = server.root() + "/VKP1000/1270.bin.flood";
        QFile::remove(marker);
        QVERIFY(server.put("VKP1000/VKP1000.txt", "1270\n") &&
                server.put("VKP1000/1270.bin", QByteArray(1024, '\x5a')));
        QVERIFY(fault != "flood" || writeFile(marker, ""));
        EmulatedDevice device(backend);
        auto window = connectedWindow(device);
        QVERIFY(window);
        const QString older =
            cache + (fault == "flood" ? "VKP1000/1270.bin" : "VKP1000/1270.bin/a");
        QVERIFY(writeFile(older, Old));
        auto *bar = window->findChild<ProgressBarColor *>("progressBarColor");
        double peak = 0;
        QObject::connect(bar, &ProgressBarColor::valueChanged, bar,
                         [&](double value) { peak = std::max(peak, value); });

        ModalHand hand;
        hand.answers[Question] = QMessageBox::Yes;
        QTest::keyClick(window.get(), Qt::Key_F5);
        QFile::remove(marker);
        QCOMPARE(hand.texts(), QStringList({Question, Failed}));
        QVERIFY(!button(*window, "toolButton_2")->isEnabled());
        QCOMPARE(readFile(older), Old);
        QCOMPARE(QDir(cache + "VKP1000").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"1270.bin"});
        // Cut off after at most one read of libcurl's past the announced size.
        QVERIFY2(peak <= 1024 + 64 * 1024, qPrintable(QString::number(peak)));
    }

    // With a signing key: only an image signed by it, of the announced version, is loaded.
    void signedDownload_data()
    {
        QTest::addColumn<qint32>("headerVersion");
        QTest::addColumn<bool>("signedByVendor");
        QTest::addColumn<bool>("tampered");   // one byte changed after signing
        QTest::addColumn<QString>("verdict"); // the second box's text

        const QString refused = Failed + "\nThe firmware's signature is missing or does not match";
        QTest::newRow("signed: flashed") << 1260 << true << false << Downloaded;
        QTest::newRow("unsigned") << 1260 << false << false << refused;
        QTest::newRow("tampered") << 1260 << true << true << refused;
        QTest::newRow("signed, but not the announced version")
            << 1255 << true << false
            << Failed + "\nThe firmware's version 1255 is not the announced version 1260";
    }

    void signedDownload()
    {
        QFETCH(qint32, headerVersion);
        QFETCH(bool, signedByVendor);
        QFETCH(bool, tampered);
        QFETCH(QString, verdict);

        // Made by minisign when the test was built: under wine it cannot run.
        const QString signedImages = QStringLiteral(SIGNED_IMAGES) + '/';
        const QByteArray key = readFile(signedImages + "vendor.pub").split('\n').value(1);
        QByteArray image = readFile(signedImages + QString("%1.bin").arg(headerVersion));
        QCOMPARE(image, firmwareBytes(400, headerVersion, 216));
        QFile::remove(server.root() + "/VKP1000/1260.bin.minisig");
        QVERIFY(server.put("VKP1000/VKP1000.txt", "1260\n") &&
                server.put("VKP1000/1260.bin", image));
        QVERIFY(!signedByVendor ||
                server.put("VKP1000/1260.bin.minisig",
                           readFile(signedImages + QString("%1.bin.minisig").arg(headerVersion))));
        if (tampered) {
            image[100] = char(image[100] ^ 0x01);
            QVERIFY(server.put("VKP1000/1260.bin", image));
        }
        EmulatedDevice device(backend);
        auto window = connectedWindow(device);
        QVERIFY(window);
        window->setSigningKey(key);

        ModalHand hand;
        hand.answers[Question] = QMessageBox::Yes;
        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(hand.texts(), QStringList({Question, verdict}));
        const bool flashes = verdict == Downloaded;
        QCOMPARE(button(*window, "toolButton_2")->isEnabled(), flashes);
        // A refused image is gone from the cache, its signature file with it.
        const QStringList kept =
            flashes ? QStringList{"1260.bin", "1260.bin.minisig"} : QStringList();
        QCOMPARE(QDir(cache + "VKP1000").entryList(QDir::Files), kept);
        if (!flashes)
            return;
        QVERIFY(window->findChild<QLabel *>("LB_VersionTip")
                    ->text()
                    .endsWith("\nsigned: release 1260"));
        QTest::mouseClick(button(*window, "toolButton_2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window->exitCode, 0, FlashTimeoutMs);
        QVERIFY(device.imagesMatchFile((cache + "VKP1000/1260.bin").toStdString()));
    }

    void checkOutcomes_data()
    {
        QTest::addColumn<int>("deviceVersion");
        QTest::addColumn<QString>("server");     // "real", "closed" or "silent"
        QTest::addColumn<QByteArray>("content"); // the model's version file; empty: missing
        QTest::addColumn<QString>("trigger");    // "F5", "menu", or "auto": the silent check
        QTest::addColumn<QStringList>("texts");

        const QString real = "real";
        const QStringList network{NetworkMessage};
        const QString f5 = "F5";
        QTest::newRow("newer, answered No")
            << 1250 << real << QByteArray("1260\n") << f5 << QStringList{Question};
        QTest::newRow("newer, from the context menu")
            << 1250 << real << QByteArray("1260\n") << "menu" << QStringList{Question};
        QTest::newRow("same, silent")
            << 1250 << real << QByteArray("1250\n") << "auto" << QStringList();
        QTest::newRow("latest, model folder made on demand")
            << 6500 << real << QByteArray("6500\n") << f5 << QStringList{"Latest version"};
        QTest::newRow("version 999")
            << 999 << real << QByteArray() << f5 << QStringList{"Version of the error"};
        QTest::newRow("no version file") << 3200 << real << QByteArray() << f5 << network;
        QTest::newRow("hostile line")
            << 3600 << real << QByteArray("3700/../../../y\n") << f5 << network;
        QTest::newRow("server unreachable") << 1250 << "closed" << QByteArray() << f5 << network;
        // Without time-outs this would never end.
        QTest::newRow("silent server") << 1250 << "silent" << QByteArray() << f5 << network;
    }

    void checkOutcomes()
    {
        QFETCH(int, deviceVersion);
        QFETCH(QString, server);
        QFETCH(QByteArray, content);
        QFETCH(QString, trigger);
        QFETCH(QStringList, texts);

        if (const std::optional<ModelEntry> model = ModelForVersion(deviceVersion)) {
            QFile::remove(this->server.root() + "/" + model->versionFile);
            if (!content.isEmpty())
                QVERIFY(this->server.put(model->versionFile, content));
        }
        FakeFtpOptions silence;
        silence.greeting.clear();
        FakeFtpServer silent(silence);
        DeviceConfig config;
        config.version = quint16(deviceVersion);
        EmulatedDevice device(backend, config);
        auto window = connectedWindow(device);
        QVERIFY(window);
        if (server != "real")
            window->setUpdateServer(
                LoopbackServer(server == "closed" ? ClosedPort() : silent.port(), 300));
        QStringList folders = {"VKP1000", "VKP2000", "VKP3000", "VKP3200", "VKP3400",
                               "VKP3600", "VKP3800", "VKP4000", "VKP5000"};
        QCOMPARE(QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), folders);

        ModalHand hand;
        hand.answers[Question] = QMessageBox::No;
        if (trigger == "F5")
            QTest::keyClick(window.get(), Qt::Key_F5);
        else if (trigger == "menu")
            QCOMPARE(chooseFromMenu(*window), QStringList{"Check for new firmware (F5)"});
        else
            QMetaObject::invokeMethod(window.get(), "Slot_AutoFlushFile");
        QCOMPARE(hand.texts(), texts);
        for (const QString &box : hand.boxes)
            QVERIFY2(box.startsWith(box.contains(Question) ? "Information | " : "Warning | "),
                     qPrintable(box));
        QVERIFY(!button(*window, "toolButton_2")->isEnabled());
        // After F5 without an image a file can still be chosen by hand.
        QVERIFY(trigger == "auto" || button(*window, "TBFlush")->isEnabled());
        // Nothing is left in the cache but the folders, and nothing beside it.
        QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/y.bin"));
        if (deviceVersion >= 6000)
            folders << "VKP6000";
        QCOMPARE(QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), folders);

        // A second check in the same run does nothing, whatever the first one found.
        QTest::keyClick(window.get(), Qt::Key_F5);
        QTest::qWait(50);
        QCOMPARE(hand.texts(), texts);
    }

    // The image comes at five bytes a second; once it has begun, the row acts.
    void transferInFlight_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("nothing: the floor ends it") << "";
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("closing the window") << "close";
    }

    void transferInFlight()
    {
        QFETCH(QString, action);
        const QByteArray image = firmwareBytes(400, 1260, 216);
        FakeFtpOptions options;
        options.files["VKP1000/VKP1000.txt"] = "1260\n";
        options.files["VKP1000/1260.bin"] = image.toStdString();
        options.tricklePath = "VKP1000/1260.bin";
        options.trickleMs = 200; // 5 bytes/s: far below the floor
        FakeFtpServer trickling(options);
        EmulatedDevice device(backend);
        auto window = connectedWindow(device);
        QVERIFY(window);
        window->setUpdateServer(LoopbackServer(trickling.port(), 1000));
        const QString imagePath = cache + "VKP1000/1260.bin";
        QVERIFY(writeFile(imagePath, Old));
        auto *bar = window->findChild<ProgressBarColor *>("progressBarColor");
        const QPair<double, double> barBefore{bar->getValue(), bar->getMaxValue()};

        // A GUI-thread timer that must keep its pace while a transfer runs; it acts once the
        // bar shows the image's first bytes against its size.
        int ticks = 0;
        bool busy = false; // the check shows that it runs
        bool imageBegun = false;
        bool joined = false;
        QTimer ticker;
        ticker.setInterval(50);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            auto *worker = window->findChild<QThread *>("onlineTransfer");
            ticks += worker && !QApplication::activeModalWidget();
            busy |= worker && QApplication::overrideCursor() &&
                    QApplication::overrideCursor()->shape() == Qt::BusyCursor;
            if (!worker || imageBegun || bar->getMaxValue() != image.size() || bar->getValue() <= 0)
                return;
            imageBegun = true;
            if (action == "Esc") {
                // Without a window manager nothing gives the window back its focus after a box.
                QApplication::setActiveWindow(window.get());
                QTest::keyClick(window.get(), Qt::Key_Escape);
            }
            if (action == "close") {
                window->close();
                joined = worker->isFinished();
            }
        });

        ModalHand hand;
        hand.answers[Question] = QMessageBox::Yes;
        ticker.start();
        QTest::keyClick(window.get(), Qt::Key_F5);
        ticker.stop();
        QVERIFY(imageBegun);
        QVERIFY(busy && !QApplication::overrideCursor());
        QCOMPARE(hand.texts(),
                 action.isEmpty() ? QStringList({Question, Failed}) : QStringList{Question});
        QCOMPARE(joined, action == "close");
        QVERIFY(!window->findChild<QThread *>("onlineTransfer"));
        // Nothing flashed or half-written, the older image intact, the window as before F5.
        QCOMPARE(QDir(cache + "VKP1000").entryList(QDir::Files), QStringList{"1260.bin"});
        QCOMPARE(readFile(imagePath), Old);
        QVERIFY(!button(*window, "toolButton_2")->isEnabled());
        QVERIFY(button(*window, "TBFlush")->isEnabled());
        QCOMPARE(qMakePair(bar->getValue(), bar->getMaxValue()), barBefore);
        // A frozen window would tick only while the boxes are up.
        QVERIFY(!action.isEmpty() || ticks > 10);
        if (action == "Esc") {
            // A cancelled check may be started again.
            hand.answers[Question] = QMessageBox::No;
            QTest::keyClick(window.get(), Qt::Key_F5);
            QCOMPARE(hand.texts(), QStringList({Question, Question}));
        }
    }

    // F5 before the device's version reply waits for it, with a busy cursor, then runs;
    // without a device it gives up after the reply's limit and says so.
    void earlyF5WaitsForTheVersion_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("reply comes") << true;
        QTest::newRow("no device") << false;
    }

    void earlyF5WaitsForTheVersion()
    {
        QFETCH(bool, present);
        QVERIFY(server.put(ModelForVersion(1250)->versionFile, "1260\n"));
        EmulatedDevice device(backend);
        if (present)
            device.attach();
        flash::Timing timing = Hasty;
        timing.versionQueryDelayMs = 300;
        TestWindow window(backend, timing);
        window.setUpdateServer(server.server());
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        ModalHand hand;
        hand.answers[Question] = QMessageBox::No;
        QTest::keyClick(&window, Qt::Key_F5);
        QVERIFY(window.versionReportValue().isEmpty());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        const QString gaveUp = "The device did not report its version, so no check for new "
                               "firmware could run. Connect the device and press F5 again.";
        QTRY_COMPARE(hand.texts(), QStringList(present ? Question : gaveUp));
        QVERIFY(!QApplication::overrideCursor());
    }

    void flushFileTip()
    {
        // The English texts show in the flows above; the Chinese ones only here.
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
        for (const auto &[number, text] :
             {std::pair<int, QString>{0, "更新成功"}, {-1, "更新失败"}}) {
            TestWindow window(backend);
            ModalHand hand;
            QMetaObject::invokeMethod(&window, "FlushFileTip", Q_ARG(int, number));
            QCOMPARE(hand.boxes, QStringList{"提示 | " + text + " | &Yes"});
            QCOMPARE(hand.details[0].section(',', 0, 0),
                     QString("icon %1").arg(QMessageBox::Information));
            QCOMPARE(window.findChild<QAction *>("onlineCheckAction")->text(),
                     QString("检查新固件 (F5)"));
        }
    }

private:
    // A shown, active window that has the device's version reply, with F5 armed.
    std::unique_ptr<TestWindow> connectedWindow(EmulatedDevice &device)
    {
        device.attach();
        auto window = std::make_unique<TestWindow>(backend, Hasty);
        window->setUpdateServer(server.server());
        window->setupOnlineCheck();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()) ||
            !QTest::qWaitFor([&] { return !window->versionReportValue().isEmpty(); }, 3000))
            return nullptr;
        return window;
    }

    static QToolButton *button(QWidget &window, const char *name)
    {
        return window.findChild<QToolButton *>(name);
    }

    hidplatform::EmulatedBackend backend;
    FtpServerFixture server;
    QString cache;     // beside the program
    QString userCache; // the user's, when the program's folder cannot be written
    QTemporaryDir userData;
};

QTEST_MAIN(TestOnlineWindow)
#include "tst_onlinewindow.moc"
