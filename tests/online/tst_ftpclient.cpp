// FtpClient, and FtpThread repeating its downloads, against a real FTP server (pyftpdlib) and
// against a scripted one that misbehaves in the ways real ones sometimes do, both on loopback.
#include "fakeftpserver.h"
#include "ftpclient.h"
#include "ftpserverfixture.h"
#include "ftpthread.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Every byte value, CR and LF included: an ASCII-mode transfer would change it.
const QByteArray Image = [] {
    QByteArray image;
    for (int i = 0; i < 70000; ++i)
        image.append(static_cast<char>((i * 7 + i / 256) & 0xFF));
    return image;
}();

FakeFtpOptions withImage()
{
    FakeFtpOptions options;
    options.files["VKP3000/3106.bin"] = Image.toStdString();
    options.files["VKP3000/VKP3000.txt"] = "3106\n";
    return options;
}

void connectTo(FtpClient &client, quint16 port, int replyTimeoutMs = 5000)
{
    client.SetServer("127.0.0.1", "ftp", "kwx");
    client.SetControlPort(port);
    client.SetTimeouts(2000, replyTimeoutMs);
}
} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void realServer();
    void awkwardRepliesKeepStep_data();
    void awkwardRepliesKeepStep();
    void brokenDownloads_data();
    void brokenDownloads();
    void refusedCommands();
    void unansweredLogin_data();
    void unansweredLogin();
    void threadRunsUntilStopped();
    void threadDestructionStopsAndJoins();

private:
    FtpServerFixture server;
    QTemporaryDir *local = nullptr;
};

void TestFtpClient::initTestCase()
{
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(server.put("VKP3000/3106.bin", Image));
    QVERIFY(server.put("empty.bin", QByteArray()));
    QVERIFY(server.put("work/old.txt", "x"));
    QVERIFY(server.put("work/gone.txt", "x"));
    QVERIFY(QDir(server.root()).mkpath("work/emptyfolder"));
}

void TestFtpClient::init()
{
    delete local;
    local = new QTemporaryDir;
    QVERIFY(QDir(local->path()).mkpath("VKP3000"));
}

void TestFtpClient::realServer()
{
    FtpClient client;
    connectTo(client, server.port());
    QTest::ignoreMessage(QtDebugMsg, "Control Socket connecting is success.");
    QCOMPARE(client.Login(), 0);
    QVERIFY(client.ListedNames() == std::vector<std::string>({"VKP3000", "empty.bin", "work"}));
    // SIZE 0 and a 550 refusal; the client stays in step after both.
    QCOMPARE(client.FileSize("empty.bin"), 0LL);
    QCOMPARE(client.FileSize("VKP3000/9999.bin"), -1LL);
    QCOMPARE(client.FileSize("VKP3000/3106.bin"), 70000LL);

    // A failed download leaves the earlier copy; a good one replaces it byte for byte (binary
    // mode). Neither leaves a partial file.
    const std::string folder = local->path().toStdString();
    const QString missing = local->filePath("VKP3000/9999.bin");
    const QString image = local->filePath("VKP3000/3106.bin");
    QVERIFY(writeFile(missing, "old image") && writeFile(image, "old image"));
    QCOMPARE(client.Download("VKP3000/9999.bin", folder), -1);
    QCOMPARE(client.Download("VKP3000/3106.bin", folder), 1);
    QCOMPARE(readFile(missing), QByteArray("old image"));
    QCOMPARE(readFile(image), Image);
    QCOMPARE(QDir(local->filePath("VKP3000")).entryList(QDir::Files),
             QStringList({"3106.bin", "9999.bin"}));

    const QString source = local->filePath("upload.bin");
    QVERIFY(writeFile(source, Image.left(3000)));
    QCOMPARE(client.ChangeDirectory("work"), 0);
    QCOMPARE(client.Upload(source.toStdString()), 1);
    QCOMPARE(client.Rename("old.txt", "new.txt"), 0);
    QCOMPARE(client.Remove("gone.txt"), 0);
    QCOMPARE(client.RemoveDirectory("emptyfolder"), 0);
    // pyftpdlib answers MKD with 257 where the client expects 250: still 0.
    QTest::ignoreMessage(QtDebugMsg, "state code error!");
    QCOMPARE(client.MakeDirectory("VKP6000"), 0);
    QVERIFY(client.ListedNames() == std::vector<std::string>({"VKP6000", "new.txt", "upload.bin"}));
    QCOMPARE(readFile(server.root() + "/work/upload.bin"), Image.left(3000));

    QCOMPARE(client.Quit(), 1);
    QCOMPARE(client.ReplyText().substr(0, 3), std::string("221"));
    QCOMPARE(client.FileSize("VKP3000/3106.bin"), -1LL);
}

void TestFtpClient::awkwardRepliesKeepStep_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<bool>("split");
    QTest::addColumn<bool>("joined");
    QTest::addColumn<QByteArray>("transferStart");

    const QByteArray start = "150 Opening BINARY mode data connection.\r\n";
    const QByteArray twoLines = "220-Welcome\r\n220 ready\r\n";
    QTest::newRow("every reply split in two reads") << twoLines << true << false << start;
    QTest::newRow("150 and 226 in one read") << twoLines << false << true << start;
    QTest::newRow("125 and 226 in one read, split")
        << twoLines << true << true << QByteArray("125 Data connection already open.\r\n");
    // One greeting of exactly 1000 bytes: more than one buffer-full.
    const QByteArray tail = "\r\n220 ready\r\n";
    QTest::newRow("1000-byte greeting")
        << QByteArray("220-") + QByteArray(1000 - 4 - tail.size(), 'w') + tail << false << false
        << start;
}

void TestFtpClient::awkwardRepliesKeepStep()
{
    QFETCH(QByteArray, greeting);
    QFETCH(bool, split);
    QFETCH(bool, joined);
    QFETCH(QByteArray, transferStart);

    FakeFtpOptions options = withImage();
    options.greeting = greeting.toStdString();
    options.splitReplies = split;
    options.joinTransferReplies = joined;
    options.transferStart = transferStart.toStdString();
    FakeFtpServer fake(options);

    FtpClient client;
    connectTo(client, fake.port());
    QCOMPARE(client.Login(), 0);
    QVERIFY(client.ListedNames() == std::vector<std::string>{"listed.bin"});
    // Every answer below is the one to its own command: nothing shifted.
    QCOMPARE(client.FileSize("VKP3000/VKP3000.txt"), 5LL);
    QCOMPARE(client.Download("VKP3000/3106.bin", local->path().toStdString()), 1);
    QCOMPARE(readFile(local->filePath("VKP3000/3106.bin")), Image);
    QCOMPARE(client.FileSize("VKP3000/3106.bin"), 70000LL);
    QCOMPARE(client.Quit(), 1);
    QCOMPARE(client.ReplyText(), std::string("221 Goodbye.\r\n"));
}

void TestFtpClient::brokenDownloads_data()
{
    QTest::addColumn<QByteArray>("passiveHost");
    QTest::addColumn<QByteArray>("pasvReply"); // set: the whole answer, no data port
    QTest::addColumn<int>("dataLimit");        // -1: the whole file
    QTest::addColumn<int>("result");

    // Nothing listens on 127.0.0.2: data must go to the control connection's address.
    QTest::newRow("PASV names another host") << QByteArray("127,0,0,2") << QByteArray() << -1 << 1;
    QTest::newRow("PASV without numbers")
        << QByteArray("127,0,0,1") << QByteArray("227 Entering Passive Mode (no numbers)\r\n") << -1
        << -1;
    QTest::newRow("half the data, then 226")
        << QByteArray("127,0,0,1") << QByteArray() << Image.size() / 2 << -1;
}

void TestFtpClient::brokenDownloads()
{
    QFETCH(QByteArray, passiveHost);
    QFETCH(QByteArray, pasvReply);
    QFETCH(int, dataLimit);
    QFETCH(int, result);

    FakeFtpOptions options = withImage();
    options.passiveHost = passiveHost.toStdString();
    options.pasvReply = pasvReply.toStdString();
    if (dataLimit >= 0)
        options.dataLimit = static_cast<std::size_t>(dataLimit);
    FakeFtpServer fake(options);
    const QString target = local->filePath("VKP3000/3106.bin");
    QVERIFY(writeFile(target, "old image"));

    FtpClient client;
    connectTo(client, fake.port());
    if (!pasvReply.isEmpty()) { // once for the listing at login, once for the download
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Data Socket connecting Failed: "));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Data Socket connecting Failed: "));
    }
    QCOMPARE(client.Login(), 0);
    QCOMPARE(client.Download("VKP3000/3106.bin", local->path().toStdString()), result);
    QCOMPARE(readFile(target), result == 1 ? Image : QByteArray("old image"));
    QVERIFY(!QFile::exists(target + ".part"));
    // RETR is never sent without a data connection.
    const std::vector<std::string> commands = fake.commands();
    QCOMPARE(std::count(commands.begin(), commands.end(), "RETR VKP3000/3106.bin"),
             pasvReply.isEmpty() ? 1 : 0);
}

void TestFtpClient::refusedCommands()
{
    const QString source = local->filePath("upload.bin");
    QVERIFY(writeFile(source, "data"));
    FakeFtpServer fake(withImage()); // it refuses STOR with 502
    FtpClient client;
    connectTo(client, fake.port(), 400);
    QCOMPARE(client.Login(), 0);
    QCOMPARE(client.Upload(source.toStdString()), -1);
    QCOMPARE(client.FileSize("VKP3000/VKP3000.txt"), 5LL);
    // A line break would put a second command of the caller's on the wire.
    QTest::ignoreMessage(QtDebugMsg, "Refused to send a command with a line break");
    QCOMPARE(client.FileSize("x\r\nDELE VKP3000/3106.bin"), -1LL);
    for (const std::string &command : fake.commands())
        QVERIFY2(command.rfind("DELE", 0) != 0, command.c_str());
}

void TestFtpClient::unansweredLogin_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QByteArray>("greeting"); // empty: none at all
    QTest::addColumn<QString>("message");     // the debug line naming the reason

    QTest::newRow("connection refused")
        << false << QByteArray("220 ready\r\n") << "^Control Socket Connecting Failed:  \\d+$";
    QTest::newRow("no greeting") << true << QByteArray()
                                 << "^No reply from the server within 400 ms$";
    QTest::newRow("over-long greeting")
        << true << "220-" + QByteArray(FtpClient::MaxReplyLength + 10, 'x')
        << "^ERROR! Too long information too receive!$";
}

void TestFtpClient::unansweredLogin()
{
    QFETCH(bool, listening);
    QFETCH(QByteArray, greeting);
    QFETCH(QString, message);

    FakeFtpOptions options;
    options.greeting = greeting.toStdString();
    FakeFtpServer fake(options);
    FtpClient client;
    connectTo(client, listening ? fake.port() : ClosedPort(), 400);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));
    QCOMPARE(client.Login(), -1);
    QCOMPARE(client.FileSize("VKP3000/3106.bin"), -1LL);
    QCOMPARE(client.Download("VKP3000/3106.bin", local->path().toStdString()), -1);
    QVERIFY(!QFile::exists(local->filePath("VKP3000/3106.bin")));
    // After a lost reply nothing more is sent: every answer would be out of step.
    QVERIFY(fake.commands().empty());
}

void TestFtpClient::threadRunsUntilStopped()
{
    FtpThread thread;
    thread.SetServer(server.server());
    thread.SetPaths("VKP3000/3106.bin", local->path());
    const QString target = local->filePath("VKP3000/3106.bin");
    thread.start();
    QTRY_COMPARE_WITH_TIMEOUT(readFile(target), Image, 10000);
    // It goes on fetching: a removed copy comes back. The remove fails should it find the
    // image missing, as it was between a remove and a rename.
    QVERIFY(QFile::remove(target));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target), 10000);
    thread.SetRunning(false);
    QVERIFY(thread.wait(10000));
}

void TestFtpClient::threadDestructionStopsAndJoins()
{
    // With its server down the thread sits in its pause between attempts; destroying it must
    // stop and join it, or Qt aborts on a thread destroyed while running.
    auto *thread = new FtpThread;
    thread->SetServer(LoopbackServer(ClosedPort()));
    thread->SetPaths("VKP3000/3106.bin", local->path());
    thread->start();
    QTest::qWait(100);
    QVERIFY(thread->isRunning());
    delete thread;
}

QTEST_GUILESS_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
