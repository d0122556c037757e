// The online check in the real updater window: an emulated device, a real FTP server on
// loopback, real message boxes answered as they appear, and the downloaded image flashed.
#include "emulateddevice.h"
#include "fakeftpserver.h"
#include "ftpserverfixture.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

using emulator::DeviceConfig;
using emulator::EmulatedDevice;

namespace {

class OnlineWindow : public MainWindow
{
public:
    using MainWindow::MainWindow;
    int exitCode = -1;

protected:
    void endProcess(int code) override { exitCode = code; }
};

struct Box
{
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton;
};

// Answers every modal message box as it appears: with the button named for its text in
// `answers`, otherwise with its first button.
class BoxHand : public QObject
{
public:
    BoxHand()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { look(); });
        timer.start();
    }
    QMap<QString, QMessageBox::StandardButton> answers;
    QList<Box> boxes;

    QStringList texts() const
    {
        QStringList result;
        for (const Box &box : boxes)
            result << box.text;
        return result;
    }

private:
    void look()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        Box seen{box->windowTitle(), box->text(), box->icon(), {}, QMessageBox::NoButton};
        for (QAbstractButton *button : box->buttons())
            seen.buttons << box->standardButton(button);
        std::sort(seen.buttons.begin(), seen.buttons.end());
        if (box->defaultButton())
            seen.defaultButton = box->standardButton(box->defaultButton());
        boxes << seen;
        QAbstractButton *answer = answers.contains(seen.text)
                                      ? box->button(answers.value(seen.text))
                                      : box->buttons().first();
        answer->click();
    }
    QTimer timer;
};

// A well-formed firmware file: header, DSP image, ARM image.
QByteArray firmwareFile(quint32 dspLength, qint32 version, quint32 armLength)
{
    QByteArray data(16, '\0');
    qToBigEndian(dspLength, data.data());
    qToBigEndian(quint32(version), data.data() + 4);
    qToBigEndian(armLength, data.data() + 8);
    for (quint32 i = 0; i < dspLength + armLength; ++i)
        data.append(char((i * 13 + 5) & 0xFF));
    return data;
}

const QString Question = QString::fromUtf8("new firmware,updata or not？");
const QString NetworkMessage = "checking your netWork,And Restart!";
const QString Downloaded = "Update is Successful";
constexpr int FlashTimeoutMs = 15000;

} // namespace

class TestOnlineWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fullFlow_data();
    void fullFlow();
    void checkOutcomes_data();
    void checkOutcomes();
    void modelFoldersInTheCache();
    void networkFailureLeavesTheFileButtonUsable();
    void silentServerFailsInBoundedTime();
    void imageByFtpClient_data();
    void imageByFtpClient();
    void flushFileTip_data();
    void flushFileTip();

private:
    std::unique_ptr<OnlineWindow> connectedWindow(EmulatedDevice &device, bool active = false);
    int check(OnlineWindow &window, bool power);
    static QToolButton *button(QWidget &window, const char *name)
    {
        return window.findChild<QToolButton *>(name);
    }

    hidplatform::EmulatedBackend backend;
    FtpServerFixture server;
    QString cache;
};

void TestOnlineWindow::initTestCase()
{
    Q_INIT_RESOURCE(updater);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    cache = QCoreApplication::applicationDirPath() + "/file/";
}

void TestOnlineWindow::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    hidplatform::setBackend(&backend);
    // The window's cache is below the program's folder: start each case without one.
    QVERIFY(QDir(cache).removeRecursively());
}

void TestOnlineWindow::cleanup()
{
    hidplatform::setBackend(nullptr);
}

// A shown window that has the device's version reply; `active` also arms F5.
std::unique_ptr<OnlineWindow> TestOnlineWindow::connectedWindow(EmulatedDevice &device, bool active)
{
    device.attach();
    auto window = std::make_unique<OnlineWindow>();
    window->setUpdateServer(server.server());
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()) ||
        !QTest::qWaitFor([&] { return !window->versionReportValue().isEmpty(); }, 3000))
        return nullptr;
    if (active) {
        window->setupOnlineCheck();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return nullptr;
    }
    return window;
}

int TestOnlineWindow::check(OnlineWindow &window, bool power)
{
    int result = -2;
    QMetaObject::invokeMethod(&window, "Slot_GetRobotVersion", Q_RETURN_ARG(int, result),
                              Q_ARG(bool, power));
    return result;
}

// F5, the question answered Yes, the download, and for a sound image the flash.
void TestOnlineWindow::fullFlow_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QStringList>("texts");

    const QByteArray sound = firmwareFile(400, 1260, 216);
    QTest::newRow("sound image") << sound << QStringList({Question, Downloaded});
    // Only an image that passes the file checks may be started.
    QTest::newRow("one byte more than the header says")
        << sound + '\x01' << QStringList({Question, Downloaded, "File Format Is Error"});
}

void TestOnlineWindow::fullFlow()
{
    QFETCH(QByteArray, image);
    QFETCH(QStringList, texts);
    const bool sound = texts.size() == 2;

    QVERIFY(server.put("VKP1000/VKP1000.txt", "1260\r\n"));
    QVERIFY(server.put("VKP1000/1260.bin", image));
    EmulatedDevice device(backend); // version 1250: model VKP1000
    auto window = connectedWindow(device, true);
    QVERIFY(window);

    BoxHand hand;
    hand.answers[Question] = QMessageBox::Yes;
    QTest::keyClick(window.get(), Qt::Key_F5);
    QCOMPARE(hand.texts(), texts);
    QCOMPARE(hand.boxes[0].title, QString("Information"));
    QCOMPARE(hand.boxes[0].icon, QMessageBox::Information);
    QCOMPARE(hand.boxes[0].buttons,
             QList<QMessageBox::StandardButton>({QMessageBox::Yes, QMessageBox::No}));
    QCOMPARE(hand.boxes[0].defaultButton, QMessageBox::No);
    QCOMPARE(button(*window, "toolButton_2")->isEnabled(), sound);
    QCOMPARE(button(*window, "TBFlush")->isEnabled(), !sound);
    // The version file was read and removed; the image stays.
    QVERIFY(!QFile::exists(cache + "VKP1000/VKP1000.txt"));
    const QString imagePath = QDir::cleanPath(cache + "VKP1000/1260.bin");
    QCOMPARE(readFile(imagePath), image);
    if (!sound)
        return;

    QCOMPARE(window->findChild<QLineEdit *>("line_path")->text(), imagePath);
    QString serverName;
    QMetaObject::invokeMethod(window.get(), "SetFileFlushName", Q_RETURN_ARG(QString, serverName));
    QCOMPARE(serverName, QString("VKP1000/1260.bin"));
    QTest::mouseClick(button(*window, "toolButton_2"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window->exitCode, 0, FlashTimeoutMs);
    QCOMPARE(hand.texts().last(), QString("Update Complete!\nClick OK to close the software!"));
    QVERIFY(device.imagesMatchFile(imagePath.toStdString()));

    // The check runs once per run.
    const int boxes = hand.boxes.size();
    QCOMPARE(check(*window, true), -1);
    QCOMPARE(hand.boxes.size(), boxes);
}

void TestOnlineWindow::checkOutcomes_data()
{
    QTest::addColumn<int>("deviceVersion");
    QTest::addColumn<QString>("versionFile");
    QTest::addColumn<QByteArray>("content"); // empty: the file is missing on the server
    QTest::addColumn<bool>("power");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("newer, answered No") << 1250 << "VKP1000/VKP1000.txt" << QByteArray("1260\n")
                                        << true << 0 << QStringList{Question};
    QTest::newRow("same, asked") << 1250 << "VKP1000/VKP1000.txt" << QByteArray("1250\n") << true
                                 << 1 << QStringList{"Latest version"};
    QTest::newRow("same, silent") << 1250 << "VKP1000/VKP1000.txt" << QByteArray("1250\n") << false
                                  << 1 << QStringList();
    QTest::newRow("400 is newer by text") << 3106 << "VKP3000/VKP3000.txt" << QByteArray("400\n")
                                          << true << 0 << QStringList{Question};
    QTest::newRow("version 999") << 999 << QString() << QByteArray() << true << -1
                                 << QStringList{"Version of the error"};
    QTest::newRow("no version file") << 3200 << "VKP3200/VKP3200.txt" << QByteArray() << true << -1
                                     << QStringList{NetworkMessage};
    QTest::newRow("empty first line") << 3400 << "VKP3400/VKP3400.txt" << QByteArray("\n3500\n")
                                      << true << -1 << QStringList{NetworkMessage};
    QTest::newRow("hostile line") << 3600 << "VKP3600/VKP3600.txt"
                                  << QByteArray("3700/../../../y\n") << true << -1
                                  << QStringList{NetworkMessage};
}

void TestOnlineWindow::checkOutcomes()
{
    QFETCH(int, deviceVersion);
    QFETCH(QString, versionFile);
    QFETCH(QByteArray, content);
    QFETCH(bool, power);
    QFETCH(int, result);
    QFETCH(QStringList, texts);

    if (!versionFile.isEmpty()) {
        QFile::remove(server.root() + "/" + versionFile);
        if (!content.isEmpty())
            QVERIFY(server.put(versionFile, content));
    }
    DeviceConfig config;
    config.version = quint16(deviceVersion);
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    const QStringList before = QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    BoxHand hand;
    hand.answers[Question] = QMessageBox::No;
    QCOMPARE(check(*window, power), result);
    QCOMPARE(hand.texts(), texts);
    QVERIFY(!button(*window, "toolButton_2")->isEnabled());
    // Nothing is left in the cache but the folders, and nothing beside it.
    QCOMPARE(QDir(cache).entryList(QDir::Files), QStringList());
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/y"));
    QCOMPARE(QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);

    // A second check in the same run does nothing, whatever the first one found.
    QCOMPARE(check(*window, power), -1);
    QCOMPARE(hand.texts(), texts);
}

void TestOnlineWindow::modelFoldersInTheCache()
{
    QVERIFY(server.put("VKP6000/VKP6000.txt", "6500\n"));
    DeviceConfig config;
    config.version = 6500;
    EmulatedDevice device(backend, config);
    auto window = connectedWindow(device);
    QVERIFY(window);
    // Nine folders at start; VKP6000 only once a device of that model asks for it.
    QCOMPARE(QDir(cache).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList({"VKP1000", "VKP2000", "VKP3000", "VKP3200", "VKP3400", "VKP3600",
                          "VKP3800", "VKP4000", "VKP5000"}));
    BoxHand hand;
    QCOMPARE(check(*window, true), 1);
    QCOMPARE(hand.texts(), QStringList{"Latest version"});
    QVERIFY(QDir(cache + "VKP6000").exists());
}

void TestOnlineWindow::networkFailureLeavesTheFileButtonUsable()
{
    EmulatedDevice device(backend);
    auto window = connectedWindow(device, true);
    QVERIFY(window);
    window->setUpdateServer(LoopbackServer(ClosedPort()));

    BoxHand hand;
    QTest::keyClick(window.get(), Qt::Key_F5);
    QCOMPARE(hand.texts(), QStringList{NetworkMessage});
    QCOMPARE(hand.boxes[0].title, QString("Warning"));
    QCOMPARE(hand.boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(hand.boxes[0].buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QVERIFY(button(*window, "TBFlush")->isEnabled());
    QVERIFY(!button(*window, "toolButton_2")->isEnabled());

    // Once per run: a second F5 shows nothing.
    QTest::keyClick(window.get(), Qt::Key_F5);
    QTest::qWait(50);
    QCOMPARE(hand.boxes.size(), 1);
}

void TestOnlineWindow::silentServerFailsInBoundedTime()
{
    FakeFtpOptions options;
    options.silent = true;
    FakeFtpServer silent(options);
    EmulatedDevice device(backend);
    auto window = connectedWindow(device);
    QVERIFY(window);
    // The build's time-outs, only the address is the test's: without them this never returns.
    UpdateServer target = UpdateServer::BuildDefault();
    target.host = "127.0.0.1";
    target.port = silent.port();
    window->setUpdateServer(target);

    BoxHand hand;
    QCOMPARE(check(*window, true), -1);
    QCOMPARE(hand.texts(), QStringList{NetworkMessage});
}

void TestOnlineWindow::imageByFtpClient_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("versionFile");
    QTest::addColumn<QString>("version"); // empty: no version file on the server
    QTest::addColumn<bool>("imageOnServer");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("VKP2000") << QByteArray("Slot_LoadBinToTwo") << "VKP2000/VKP2000.txt"
                             << "2050" << true << QStringList{Downloaded};
    QTest::newRow("VKP3000") << QByteArray("Slot_LoadBinToThree") << "VKP3000/VKP3000.txt"
                             << "3150" << true << QStringList{Downloaded};
    QTest::newRow("image missing") << QByteArray("Slot_LoadBinToThree") << "VKP3000/VKP3000.txt"
                                   << "3151" << false << QStringList{"Update failed"};
    QTest::newRow("version file missing")
        << QByteArray("Slot_LoadBinToTwo") << "VKP2000/VKP2000.txt" << QString() << false
        << QStringList{NetworkMessage};
}

void TestOnlineWindow::imageByFtpClient()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, versionFile);
    QFETCH(QString, version);
    QFETCH(bool, imageOnServer);
    QFETCH(QStringList, texts);

    QFile::remove(server.root() + "/" + versionFile);
    if (!version.isEmpty())
        QVERIFY(server.put(versionFile, version.toLatin1() + "\n"));
    const QString imageName = versionFile.left(7) + "/" + version + ".bin";
    // The device (1250) takes any file version in this build.
    const QByteArray image = firmwareFile(200, version.toInt(), 8);
    if (imageOnServer)
        QVERIFY(server.put(imageName, image));

    EmulatedDevice device(backend);
    auto window = connectedWindow(device);
    QVERIFY(window);
    BoxHand hand;
    QVERIFY(QMetaObject::invokeMethod(window.get(), slot.constData()));
    QCOMPARE(hand.texts(), texts);
    QCOMPARE(button(*window, "toolButton_2")->isEnabled(), imageOnServer);
    QCOMPARE(readFile(cache + imageName), imageOnServer ? image : QByteArray("<none>"));
    if (imageOnServer)
        QCOMPARE(window->findChild<QLineEdit *>("line_path")->text(),
                 QDir::cleanPath(cache + imageName));
}

void TestOnlineWindow::flushFileTip_data()
{
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");

    QTest::newRow("English success")
        << false << 0 << "Warning" << Downloaded << int(QMessageBox::Warning);
    QTest::newRow("English failure") << false << 1 << "Warning"
                                     << "Update is failed" << int(QMessageBox::Warning);
    QTest::newRow("Chinese success")
        << true << 0 << QString::fromUtf8("提示") << QString::fromUtf8("更新成功")
        << int(QMessageBox::Information);
    QTest::newRow("Chinese failure")
        << true << -1 << QString::fromUtf8("提示") << QString::fromUtf8("更新失败")
        << int(QMessageBox::Information);
}

void TestOnlineWindow::flushFileTip()
{
    QFETCH(bool, chinese);
    QFETCH(int, number);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, icon);

    if (chinese)
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    OnlineWindow window;
    BoxHand hand;
    QMetaObject::invokeMethod(&window, "FlushFileTip", Q_ARG(int, number));
    QCOMPARE(hand.texts(), QStringList{text});
    QCOMPARE(hand.boxes[0].title, title);
    QCOMPARE(int(hand.boxes[0].icon), icon);
    QCOMPARE(hand.boxes[0].buttons, QList<QMessageBox::StandardButton>{QMessageBox::Yes});
}

QTEST_MAIN(TestOnlineWindow)
#include "tst_onlinewindow.moc"
