// FtpClient against a real FTP server (pyftpdlib) on loopback.
#include "ftpclient.h"
#include "ftpserverfixture.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray binaryImage(int size)
{
    // Every byte value, CR and LF included: an ASCII-mode transfer would change it.
    QByteArray image;
    for (int i = 0; i < size; ++i)
        image.append(static_cast<char>((i * 7 + i / 256) & 0xFF));
    return image;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void loginListsTheRoot();
    void fileSize_data();
    void fileSize();
    void downloadIntoSubfolder();
    void downloadFailures_data();
    void downloadFailures();
    void upload();
    void folderCommands();
    void makeDirectoryAnswered257StillZero();
    void quitEndsTheSession();
    void connectionRefused();

private:
    void login();

    FtpServerFixture *server = nullptr;
    FtpClient *client = nullptr;
    QTemporaryDir local;
    const QByteArray image = binaryImage(70000);
};

void TestFtpClient::initTestCase()
{
    QVERIFY(local.isValid());
}

void TestFtpClient::init()
{
    server = new FtpServerFixture;
    QString error;
    QVERIFY2(server->start(&error), qPrintable(error));
    QVERIFY(server->put("VKP3000/3106.bin", image));
    QVERIFY(server->put("VKP3000/VKP3000.txt", "3106\n"));
    QVERIFY(server->put("empty.bin", QByteArray()));
    client = new FtpClient;
}

void TestFtpClient::cleanup()
{
    delete client;
    client = nullptr;
    delete server;
    server = nullptr;
}

void TestFtpClient::login()
{
    client->SetServer("127.0.0.1", "ftp", "kwx");
    client->SetControlPort(server->port());
    client->SetTimeouts(2000, 5000);
    QCOMPARE(client->Login(), 0);
}

void TestFtpClient::loginListsTheRoot()
{
    QTest::ignoreMessage(QtDebugMsg, "Control Socket connecting is success.");
    login();
    QVERIFY(client->ListedNames() == std::vector<std::string>({"VKP3000", "empty.bin"}));
}

void TestFtpClient::fileSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qlonglong>("size");

    QTest::newRow("image") << "VKP3000/3106.bin" << 70000LL;
    QTest::newRow("empty file") << "empty.bin" << 0LL;
    QTest::newRow("missing, 550") << "VKP3000/9999.bin" << -1LL;
}

void TestFtpClient::fileSize()
{
    QFETCH(QString, name);
    QFETCH(qlonglong, size);
    login();
    QCOMPARE(client->FileSize(name.toStdString()), size);
    // The client is still in step after a refusal.
    QCOMPARE(client->FileSize("VKP3000/VKP3000.txt"), 5LL);
}

void TestFtpClient::downloadIntoSubfolder()
{
    QVERIFY(QDir(local.path()).mkpath("VKP3000"));
    login();
    QCOMPARE(client->Download("VKP3000/3106.bin", local.path().toStdString()), 1);
    QCOMPARE(readFile(local.filePath("VKP3000/3106.bin")), image);
    QVERIFY(!QFile::exists(local.filePath("VKP3000/3106.bin.part")));
    // A second download replaces the first.
    QVERIFY(writeFile(local.filePath("VKP3000/VKP3000.txt"), "old"));
    QCOMPARE(client->Download("VKP3000/VKP3000.txt", local.path().toStdString()), 1);
    QCOMPARE(readFile(local.filePath("VKP3000/VKP3000.txt")), QByteArray("3106\n"));
}

void TestFtpClient::downloadFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");

    QTest::newRow("missing on the server") << "VKP3000/9999.bin"
                                           << "VKP3000";
    QTest::newRow("local subfolder missing") << "VKP2000/3106.bin"
                                             << "VKP2000";
}

void TestFtpClient::downloadFailures()
{
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QDir(local.path()).mkpath("VKP3000");
    if (name.startsWith("VKP2000"))
        QVERIFY(server->put(name, image));
    const QString target = local.filePath(name);
    if (QFile::exists(QFileInfo(target).path()))
        QVERIFY(writeFile(target, "old image"));

    login();
    QCOMPARE(client->Download(name.toStdString(), local.path().toStdString()), -1);
    QVERIFY(!QFile::exists(target + ".part"));
    if (QFile::exists(QFileInfo(target).path()))
        QCOMPARE(readFile(target), QByteArray("old image"));
    else
        QVERIFY(!QFile::exists(target));
    // Still in step afterwards.
    QCOMPARE(client->FileSize("VKP3000/3106.bin"), 70000LL);
}

void TestFtpClient::upload()
{
    const QString source = local.filePath("upload.bin");
    QVERIFY(writeFile(source, image.left(3000)));
    login();
    QCOMPARE(client->Upload(source.toStdString()), 1);
    QCOMPARE(server->served("upload.bin"), image.left(3000));
    QVERIFY(std::count(client->ListedNames().begin(), client->ListedNames().end(), "upload.bin") ==
            1);

    QTest::ignoreMessage(QtDebugMsg, "fail to open the file!");
    QCOMPARE(client->Upload(local.filePath("nothing-here.bin").toStdString()), -1);
}

void TestFtpClient::folderCommands()
{
    QVERIFY(server->put("old.txt", "x"));
    QVERIFY(server->put("gone.txt", "x"));
    QDir(server->root()).mkpath("emptyfolder");
    login();

    QCOMPARE(client->Rename("old.txt", "new.txt"), 0);
    QVERIFY(!QFile::exists(server->root() + "/old.txt"));
    QCOMPARE(server->served("new.txt"), QByteArray("x"));

    QCOMPARE(client->Remove("gone.txt"), 0);
    QVERIFY(!QFile::exists(server->root() + "/gone.txt"));

    QCOMPARE(client->RemoveDirectory("emptyfolder"), 0);
    QVERIFY(!QDir(server->root() + "/emptyfolder").exists());

    QCOMPARE(client->ChangeDirectory("VKP3000"), 0);
    QVERIFY(client->ListedNames() == std::vector<std::string>({"3106.bin", "VKP3000.txt"}));
    QCOMPARE(client->FileSize("3106.bin"), 70000LL);
}

void TestFtpClient::makeDirectoryAnswered257StillZero()
{
    login();
    // pyftpdlib answers MKD with 257, the client expects 250.
    QTest::ignoreMessage(QtDebugMsg, "state code error!");
    QCOMPARE(client->MakeDirectory("VKP6000"), 0);
    QVERIFY(QDir(server->root() + "/VKP6000").exists());
}

void TestFtpClient::quitEndsTheSession()
{
    login();
    QCOMPARE(client->Quit(), 1);
    QCOMPARE(client->ReplyText().substr(0, 3), std::string("221"));
    QCOMPARE(client->FileSize("VKP3000/3106.bin"), -1LL);
}

void TestFtpClient::connectionRefused()
{
    client->SetServer("127.0.0.1", "ftp", "kwx");
    client->SetControlPort(ClosedPort());
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^Control Socket Connecting Failed:  \\d+$"));
    QCOMPARE(client->Login(), -1);
    QCOMPARE(client->FileSize("VKP3000/3106.bin"), -1LL);
}

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
