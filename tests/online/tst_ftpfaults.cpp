// FtpClient against a scripted server that misbehaves in the ways real ones sometimes do.
#include "fakeftpserver.h"
#include "ftpclient.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const std::string Image = std::string("\x00\x01\r\n\xff", 5) + std::string(3000, 'i');

FakeFtpOptions withImage()
{
    FakeFtpOptions options;
    options.files["VKP3000/3106.bin"] = Image;
    options.files["VKP3000/VKP3000.txt"] = "3106\n";
    return options;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}
} // namespace

class TestFtpFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void awkwardRepliesKeepStep_data();
    void awkwardRepliesKeepStep();
    void passiveHostIsIgnored();
    void badPassiveReply();
    void shortTransfer();
    void overlongReplyIsBounded();
    void silentServerIsBounded();

private:
    void connect(FtpClient &client, const FakeFtpServer &server, int replyTimeoutMs = 3000);
    QTemporaryDir *local = nullptr;
};

void TestFtpFaults::init()
{
    delete local;
    local = new QTemporaryDir;
    QVERIFY(QDir(local->path()).mkpath("VKP3000"));
}

void TestFtpFaults::connect(FtpClient &client, const FakeFtpServer &server, int replyTimeoutMs)
{
    client.SetServer("127.0.0.1", "ftp", "kwx");
    client.SetControlPort(server.port());
    client.SetTimeouts(2000, replyTimeoutMs);
}

void TestFtpFaults::awkwardRepliesKeepStep_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<bool>("split");
    QTest::addColumn<bool>("joined");
    QTest::addColumn<QByteArray>("transferStart");

    const QByteArray start = "150 Opening BINARY mode data connection.\r\n";
    QTest::newRow("two-line greeting in one read")
        << QByteArray("220-Welcome to the update server\r\n220 ready\r\n") << false << false
        << start;
    QTest::newRow("every reply split in two reads")
        << QByteArray("220-Welcome\r\n220 ready\r\n") << true << false << start;
    QTest::newRow("150 and 226 in one read")
        << QByteArray("220 ready\r\n") << false << true << start;
    QTest::newRow("125 instead of 150")
        << QByteArray("220 ready\r\n") << false << false
        << QByteArray("125 Data connection already open; transfer starting.\r\n");
    QTest::newRow("125 and 226 in one read, split")
        << QByteArray("220 ready\r\n") << true << true
        << QByteArray("125 Data connection already open.\r\n");
    // One greeting of exactly 1000 bytes: more than one buffer-full.
    const QByteArray tail = "\r\n220 ready\r\n";
    QTest::newRow("1000-byte greeting")
        << QByteArray("220-") + QByteArray(1000 - 4 - tail.size(), 'w') + tail << false << false
        << start;
}

void TestFtpFaults::awkwardRepliesKeepStep()
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
    FakeFtpServer server(options);

    FtpClient client;
    connect(client, server);
    QCOMPARE(client.Login(), 0);
    QVERIFY(client.ListedNames() == std::vector<std::string>{"listed.bin"});
    // Every answer below is the one to its own command: nothing shifted.
    QCOMPARE(client.FileSize("VKP3000/VKP3000.txt"), 5LL);
    QCOMPARE(client.Download("VKP3000/3106.bin", local->path().toStdString()), 1);
    QCOMPARE(readFile(local->filePath("VKP3000/3106.bin")), QByteArray::fromStdString(Image));
    QCOMPARE(client.FileSize("VKP3000/3106.bin"), static_cast<long long>(Image.size()));
    QCOMPARE(client.Quit(), 1);
    QCOMPARE(client.ReplyText(), std::string("221 Goodbye.\r\n"));
}

void TestFtpFaults::passiveHostIsIgnored()
{
    // The reply names 127.0.0.2, where nothing listens; the data port is on the control
    // connection's address.
    FakeFtpOptions options = withImage();
    options.passiveHost = "127,0,0,2";
    FakeFtpServer server(options);

    FtpClient client;
    connect(client, server);
    QCOMPARE(client.Login(), 0);
    QCOMPARE(client.Download("VKP3000/3106.bin", local->path().toStdString()), 1);
    QCOMPARE(readFile(local->filePath("VKP3000/3106.bin")), QByteArray::fromStdString(Image));
}

void TestFtpFaults::badPassiveReply()
{
    FakeFtpOptions options = withImage();
    options.pasvReply = "227 Entering Passive Mode (no numbers here)\r\n";
    FakeFtpServer server(options);

    FtpClient client;
    connect(client, server);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Data Socket connecting Failed: "));
    QCOMPARE(client.Login(), 0);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Data Socket connecting Failed: "));
    QCOMPARE(client.Download("VKP3000/3106.bin", local->path().toStdString()), -1);
    QVERIFY(!QFile::exists(local->filePath("VKP3000/3106.bin")));
    QVERIFY(!QFile::exists(local->filePath("VKP3000/3106.bin.part")));
    // RETR was never sent without a data connection.
    for (const std::string &command : server.commands())
        QVERIFY(command.rfind("RETR", 0) != 0);
}

void TestFtpFaults::shortTransfer()
{
    // The server announces the full size, sends half, and still says 226.
    FakeFtpOptions options = withImage();
    options.dataLimit = Image.size() / 2;
    FakeFtpServer server(options);
    const QString target = local->filePath("VKP3000/3106.bin");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old image") == 9);
    old.close();

    FtpClient client;
    connect(client, server);
    QCOMPARE(client.Login(), 0);
    QCOMPARE(client.Download("VKP3000/3106.bin", local->path().toStdString()), -1);
    QCOMPARE(readFile(target), QByteArray("old image"));
    QVERIFY(!QFile::exists(target + ".part"));
}

void TestFtpFaults::overlongReplyIsBounded()
{
    FakeFtpOptions options;
    options.greeting = "220-" + std::string(FtpClient::MaxReplyLength + 10, 'x');
    FakeFtpServer server(options);

    FtpClient client;
    connect(client, server);
    QTest::ignoreMessage(QtDebugMsg, "ERROR! Too long information too receive!");
    QTest::ignoreMessage(QtDebugMsg, "state code error!");
    QCOMPARE(client.Login(), -1);
    // After a lost reply nothing more is sent: every answer would be out of step.
    QVERIFY(server.commands().empty());
}

void TestFtpFaults::silentServerIsBounded()
{
    FakeFtpOptions options;
    options.silent = true;
    FakeFtpServer server(options);

    const int replyTimeoutMs = 400;
    FtpClient client;
    connect(client, server, replyTimeoutMs);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client.Login(), -1);
    QCOMPARE(client.FileSize("VKP3000/3106.bin"), -1LL);
    QCOMPARE(client.Download("VKP3000/3106.bin", local->path().toStdString()), -1);
    const qint64 elapsed = clock.elapsed();
    qInfo("silent server: Login, FileSize and Download failed after %lld ms (reply time-out %d ms)",
          elapsed, replyTimeoutMs);
    QVERIFY(elapsed >= replyTimeoutMs);
    // One time-out, not one per command: nothing was sent after the greeting never came.
    QVERIFY(server.commands().empty());
    QVERIFY(!QFile::exists(local->filePath("VKP3000/3106.bin")));
}

QTEST_GUILESS_MAIN(TestFtpFaults)
#include "tst_ftpfaults.moc"
