// The online check in the real updater window: an emulated device, a real FTP server on
// loopback, real message boxes answered as they appear, and the downloaded image flashed.
#include "emulateddevice.h"
#include "fakeftpserver.h"
#include "ftpserverfixture.h"
#include "mainwindow.h"
#include "modeltable.h"

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
    QStringList texts;

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
        texts << seen.text;
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
    void flushFileTip();

private:
    std::unique_ptr<OnlineWindow> connectedWindow(EmulatedDevice &device);
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

// A shown, active window that has the device's version reply, with F5 armed.
std::unique_ptr<OnlineWindow> TestOnlineWindow::connectedWindow(EmulatedDevice &device)
{
    device.attach();
    auto window = std::make_unique<OnlineWindow>();
    window->setUpdateServer(server.server());
    window->setupOnlineCheck();
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()) ||
        !QTest::qWaitFor([&] { return !window->versionReportValue().isEmpty(); }, 3000))
        return nullptr;
    return window;
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
    auto window = connectedWindow(device);
    QVERIFY(window);

    BoxHand hand;
    hand.answers[Question] = QMessageBox::Yes;
    QTest::keyClick(window.get(), Qt::Key_F5);
    QCOMPARE(hand.texts, texts);
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
    QCOMPARE(hand.texts.last(), QString("Update Complete!\nClick OK to close the software!"));
    QVERIFY(device.imagesMatchFile(imagePath.toStdString()));
}

// F5 (or the silent check) against each server answer.
void TestOnlineWindow::checkOutcomes_data()
{
    QTest::addColumn<int>("deviceVersion");
    QTest::addColumn<QString>("server");     // "real", "closed" or "silent"
    QTest::addColumn<QByteArray>("content"); // the model's version file; empty: missing
    QTest::addColumn<bool>("f5");            // else the silent check
    QTest::addColumn<QStringList>("texts");

    const QString real = "real";
    const QStringList network{NetworkMessage};
    QTest::newRow("newer, answered No")
        << 1250 << real << QByteArray("1260\n") << true << QStringList{Question};
    QTest::newRow("same, silent") << 1250 << real << QByteArray("1250\n") << false << QStringList();
    QTest::newRow("version 999") << 999 << real << QByteArray() << true
                                 << QStringList{"Version of the error"};
    QTest::newRow("no version file") << 3200 << real << QByteArray() << true << network;
    QTest::newRow("hostile line") << 3600 << real << QByteArray("3700/../../../y\n") << true
                                  << network;
    QTest::newRow("server unreachable") << 1250 << "closed" << QByteArray() << true << network;
    // The build's time-outs, only the address is the test's: without them this never ends.
    QTest::newRow("silent server") << 1250 << "silent" << QByteArray() << true << network;
}

void TestOnlineWindow::checkOutcomes()
{
    QFETCH(int, deviceVersion);
    QFETCH(QString, server);
    QFETCH(QByteArray, content);
    QFETCH(bool, f5);
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
    UpdateServer target = UpdateServer::BuildDefault();
    target.host = "127.0.0.1";
    target.port = server == "closed" ? ClosedPort() : silent.port();
    if (server != "real")
        window->setUpdateServer(target);
    const QStringList before = QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    BoxHand hand;
    hand.answers[Question] = QMessageBox::No;
    if (f5)
        QTest::keyClick(window.get(), Qt::Key_F5);
    else
        QMetaObject::invokeMethod(window.get(), "Slot_AutoFlushFile");
    QCOMPARE(hand.texts, texts);
    for (const Box &box : hand.boxes)
        QCOMPARE(box.title, QString(box.text == Question ? "Information" : "Warning"));
    QVERIFY(!button(*window, "toolButton_2")->isEnabled());
    // After F5 without an image a file can still be chosen by hand.
    QVERIFY(!f5 || button(*window, "TBFlush")->isEnabled());
    // Nothing is left in the cache but the folders, and nothing beside it.
    QCOMPARE(QDir(cache).entryList(QDir::Files), QStringList());
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/y.bin"));
    QCOMPARE(QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);

    // A second check in the same run does nothing, whatever the first one found.
    QTest::keyClick(window.get(), Qt::Key_F5);
    QTest::qWait(50);
    QCOMPARE(hand.texts, texts);
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
    QTest::keyClick(window.get(), Qt::Key_F5);
    QCOMPARE(hand.texts, QStringList{"Latest version"});
    QVERIFY(QDir(cache + "VKP6000").exists());
}

void TestOnlineWindow::flushFileTip()
{
    // The English texts show in the flows above; the Chinese ones only here.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    for (const auto &[number, text] : {std::pair<int, QString>{0, "更新成功"}, {-1, "更新失败"}}) {
        OnlineWindow window;
        BoxHand hand;
        QMetaObject::invokeMethod(&window, "FlushFileTip", Q_ARG(int, number));
        QCOMPARE(hand.texts, QStringList{text});
        QCOMPARE(hand.boxes[0].title, QString("提示"));
        QCOMPARE(hand.boxes[0].icon, QMessageBox::Information);
        QCOMPARE(hand.boxes[0].buttons, QList<QMessageBox::StandardButton>{QMessageBox::Yes});
    }
}

QTEST_MAIN(TestOnlineWindow)
#include "tst_onlinewindow.moc"
