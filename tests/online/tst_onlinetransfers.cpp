// The online check's pure rules, and its transfers against a real FTP server (pyftpdlib) and
// a scripted misbehaving one, both on loopback.
#include "fakeftpserver.h"
#include "ftpserverfixture.h"
#include <flash/firmwareimage.h>
#include <updater/online/cachepath.h>
#include <updater/online/ftpclient.h>
#include <updater/online/ftpreply.h>
#include <updater/online/ftpthread.h>
#include <updater/online/modeltable.h>
#include <updater/online/onlineupdate.h>
#include <updater/online/onlineworker.h>
#include <updater/online/transfercontrol.h>
#include <updater/online/urlfetch.h>
#include <updater/online/versionline.h>

#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <curl/curl.h>

namespace {
// Every byte value, CR and LF included: an ASCII-mode transfer would change it.
const QByteArray Image = [] {
    QByteArray image;
    for (int i = 0; i < 70000; ++i)
        image.append(static_cast<char>((i * 7 + i / 256) & 0xFF));
    return image;
}();
const QByteArray Old = "from an earlier run";

// The scripted server with the image and one fault, by name.
FakeFtpOptions faulty(const QString &fault)
{
    FakeFtpOptions options;
    options.files["VKP3000/3106.bin"] = Image.toStdString();
    options.files["VKP3000/VKP3000.txt"] = "3106\n";
    options.greeting = "220-Welcome\r\n220 ready\r\n";
    options.splitReplies = fault == "split" || fault == "joined";
    options.joinTransferReplies = fault == "joined" || fault == "long greeting";
    if (fault == "joined")
        options.transferStart = "125 Data connection already open.\r\n";
    if (fault == "long greeting")
        options.greeting = "220-" + std::string(1000 - 4 - 13, 'w') + "\r\n220 ready\r\n";
    if (fault == "silent")
        options.greeting.clear();
    if (fault == "over-long greeting")
        options.greeting = "220-" + std::string(FtpClient::MaxReplyLength + 10, 'x');
    if (fault == "host")
        options.passiveHost = "127,0,0,2";
    if (fault == "pasv")
        options.pasvReply = "227 Entering Passive Mode (no numbers)\r\n";
    if (fault == "half")
        options.dataLimit = Image.size() / 2;
    if (fault == "RETR")
        options.silentFrom = "RETR";
    if (fault == "trickle")
        options.tricklePath = "VKP3000/3106.bin";
    options.trickleReplies = fault == "slow replies";
    options.trickleMs = 200; // 5 bytes/s, far under the floor
    return options;
}

void connectTo(FtpClient &client, quint16 port, int replyTimeoutMs = 5000)
{
    client.SetServer("127.0.0.1", "ftp", "kwx");
    client.SetControlPort(port);
    client.SetTimeouts(2000, replyTimeoutMs);
}

// The last progress a transfer reported: received, expected.
struct ProgressSeen : TransferControl
{
    ProgressSeen()
    {
        progress = [this](long long got, long long total) { last = {got, total}; };
    }
    std::pair<long long, long long> last{-1, -1};
};

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    return files;
}
} // namespace

class TestOnlineTransfers : public QObject
{
    Q_OBJECT

private slots:
    void replies()
    {
        // Where the first complete reply ends; 0: incomplete, wait for more bytes.
        const std::pair<const char *, std::size_t> cases[] = {
            {"220 ready\r\n", 11},
            {"220 ready\r", 0},
            {"220-Welcome\r\n220 rea", 0},
            {"220-a\r\n221 b\r\n 220 c\r\n220 d\r\n", 29},
            {"150 Opening\r\n226 Transfer complete.\r\n", 13},
            {"220-a\r\n220\r\n", 12},
            {"22-x\r\n", 6}};
        for (const auto &[text, end] : cases)
            QVERIFY2(ftpreply::ReplyEnd(text) == (end ? end : ftpreply::Incomplete), text);

        // PASV answers give a port, SIZE answers a byte count; -1 refuses the answer.
        QVERIFY(ftpreply::PassivePort("227 Entering passive mode (127,0,0,1,117,48).\r\n") ==
                30000);
        QVERIFY(ftpreply::PassivePort("227 (127,0,0,1,256,1)\r\n") == -1);
        QVERIFY(ftpreply::SizeValue("213 5000000000\r\n") == 5000000000);
        QVERIFY(ftpreply::SizeValue("213 99999999999999999999\r\n") == -1);
    }

    void versions()
    {
        const std::pair<int, QString> bands[] = {
            {999, ""}, {1000, "VKP1000"}, {3199, "VKP3000"}, {6999, "VKP6000"}, {7000, ""}};
        for (const auto &[version, model] : bands) {
            const std::optional<ModelEntry> entry = ModelForVersion(version);
            const QString got = entry ? entry->modelFolder : QString();
            QVERIFY2(got == model, qPrintable(QString::number(version) + " gave " + got));
            QVERIFY(!entry || entry->versionFile == model + "/" + model + ".txt");
        }
        // The line becomes part of a local path: only 1-10 plain ASCII digits pass.
        QVERIFY(IsPlainVersion("3106") && IsPlainVersion("1234567890"));
        // Full-width and Arabic-Indic digits are digits to Unicode, not to a file name.
        const QStringList refused = {"12345678901",  "",         "3106 ", " 3106",
                                     "3106/../../y", "３１０６", "٣١٠٦"};
        for (const QString &line : refused)
            QVERIFY2(!IsPlainVersion(line), qPrintable(line));

        // Newer than the device's 3106 compares text, as designed.
        const std::pair<QString, bool> newer[] = {{"3106", false}, {"400", true}, {"10000", false}};
        for (const auto &[line, expected] : newer)
            QVERIFY2(ServerHasNewer("3106", line) == expected, qPrintable(line));
    }

    void cachePaths()
    {
        // Server text joined to the cache folder; empty: refused.
        const QString cases[][3] = {
            {"/app/file/", "VKP3000/3106.bin", "/app/file/VKP3000/3106.bin"},
            {"/app/file/", "/VKP2000/VKP2000.txt", "/app/file/VKP2000/VKP2000.txt"},
            {"/app/file", "a.txt", "/app/file/a.txt"},
            {"/app/file/", "VKP3000/../VKP2000/a", "/app/file/VKP2000/a"},
            {"/app/file/", "VKP3000/3106/../../../y", ""},
            {"/app/fil", "../file/x", ""},
            {"/app/file/", "", ""},
            {"", "a.txt", ""}};
        for (const auto &[base, relative, path] : cases)
            QVERIFY2(CachePath(base, relative) == path, qPrintable(base + " + " + relative));

        // The cache stays beside a writable program; below a regular file nothing can be
        // written, not even by root, so it goes to the user's folder.
        QTemporaryDir program;
        QVERIFY(writeFile(program.filePath("updater"), "a program"));
        QCOMPARE(CacheRoot(program.path(), "/home/u"), program.filePath("file"));
        QCOMPARE(CacheRoot(program.filePath("updater"), "/home/u"), QString("/home/u/file"));
        QCOMPARE(filesBelow(program.path()), QStringList{"updater"});
    }

    void initTestCase()
    {
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        QVERIFY(server.put("VKP3000/3106.bin", Image));
        QVERIFY(server.put("VKP3000/3999.bin", ""));
        QVERIFY(server.put("VKP5000/5000.bin", Image));
        QVERIFY(server.put("empty.bin", ""));
        QVERIFY(server.put("VKP3000/VKP3000.txt", "3106\n"));
        // Named by the hostile cases below: only our refusal keeps them out of reach.
        QVERIFY(server.put("x.bin", Image));
        QVERIFY(server.put("file2/x.bin", Image));
        // Sent followed by filler, 100 MiB in all, with SIZE telling Image's size or nothing.
        QVERIFY(server.put("VKP3000/flood.bin", Image) &&
                server.put("VKP3000/flood.bin.flood", ""));
        QVERIFY(server.put("VKP3000/unannounced.bin", Image) &&
                server.put("VKP3000/unannounced.bin.flood", "unannounced"));
    }

    void init()
    {
        delete app;
        app = new QTemporaryDir;
        cache = app->filePath("file") + "/";
        QVERIFY(QDir().mkpath(cache + "VKP3000"));
    }

    void realServer()
    {
        // SIZE 0 and a 550 refusal; the client stays in step after both, and is done after QUIT.
        FtpClient client;
        connectTo(client, server.port());
        QCOMPARE(client.Login(), 0);
        QCOMPARE(client.FileSize("empty.bin"), 0LL);
        QCOMPARE(client.FileSize("VKP3000/9999.bin"), -1LL);
        QCOMPARE(client.FileSize("VKP3000/3106.bin"), 70000LL);
        QCOMPARE(client.Quit(), 1);
        QCOMPARE(client.FileSize("VKP3000/3106.bin"), -1LL);
    }

    // Each fetch, by either client, finds a copy from an earlier run in place: only a whole new
    // file replaces it.
    void transfers_data()
    {
        QTest::addColumn<QString>("client"); // "ftp": FtpClient, "url": UrlFetch
        QTest::addColumn<QString>("server"); // "real", or the scripted one's fault
        QTest::addColumn<QString>("serverPath");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("content");

        const QString ftp = "ftp", url = "url", real = "real", image = "VKP3000/3106.bin";
        QTest::newRow("ftp: image, binary mode") << ftp << real << image << 1 << Image;
        QTest::newRow("ftp: missing on the server")
            << ftp << real << "VKP3000/9999.bin" << -1 << Old;
        QTest::newRow("ftp: every reply split in two reads")
            << ftp << "split" << image << 1 << Image;
        QTest::newRow("ftp: 125 and 226 in one read, split")
            << ftp << "joined" << image << 1 << Image;
        QTest::newRow("ftp: 1000-byte greeting") << ftp << "long greeting" << image << 1 << Image;
        // Nothing listens on 127.0.0.2: data must go to the control connection's address.
        QTest::newRow("ftp: PASV names another host") << ftp << "host" << image << 1 << Image;
        QTest::newRow("ftp: PASV without numbers") << ftp << "pasv" << image << -1 << Old;
        QTest::newRow("ftp: half the data, then 226") << ftp << "half" << image << -1 << Old;
        QTest::newRow("ftp: 5 bytes/s, under the floor") << ftp << "trickle" << image << -1 << Old;
        // Cut off once past what SIZE announced, or past an image's maximum without it.
        const QString flood = "flood", announced = "VKP3000/flood.bin",
                      unannounced = "VKP3000/unannounced.bin";
        QTest::newRow("ftp: 100 MiB for 70000 announced") << ftp << flood << announced << -1 << Old;
        QTest::newRow("ftp: 100 MiB, no size") << ftp << flood << unannounced << -1 << Old;
        QTest::newRow("url: 100 MiB for 70000 announced")
            << url << flood << announced << int(CURLE_PARTIAL_FILE) << Old;
        QTest::newRow("url: 100 MiB, no size")
            << url << flood << unannounced << int(CURLE_WRITE_ERROR) << Old;
        // The URL fetch's other paths are the window's F5 rows.
        QTest::newRow("url: empty on the server") << url << real << "empty.bin" << 0 << Old;
        QTest::newRow("url: half the image")
            << url << "half" << image << int(CURLE_PARTIAL_FILE) << Old;
        QTest::newRow("url: no answer to RETR")
            << url << "RETR" << image << int(CURLE_OPERATION_TIMEDOUT) << Old;
        QTest::newRow("url: replies at 5 bytes/s")
            << url << "slow replies" << image << int(CURLE_OPERATION_TIMEDOUT) << Old;
    }

    void transfers()
    {
        QFETCH(QString, client);
        QFETCH(QString, server);
        QFETCH(QString, serverPath);
        QFETCH(int, result);
        QFETCH(QByteArray, content);

        FakeFtpServer fake(faulty(server));
        const bool real = server == "real" || server == "flood";
        const quint16 port = real ? this->server.port() : fake.port();
        QVERIFY(writeFile(cache + serverPath, Old));
        ProgressSeen seen;
        if (client == "ftp") {
            FtpClient ftp;
            connectTo(ftp, port);
            ftp.SetFloor(64, 500);
            ftp.SetControl(&seen);
            if (server == "pasv") // once for the listing at login, once for the download
                for (int i = 0; i < 2; ++i)
                    QTest::ignoreMessage(QtDebugMsg,
                                         QRegularExpression("^Data Socket connecting Failed: "));
            QCOMPARE(ftp.Login(), 0);
            QCOMPARE(ftp.Download(serverPath.toStdString(), cache.toStdString()), result);
            // RETR is never sent without a data connection.
            const std::vector<std::string> commands = fake.commands();
            QCOMPARE(std::count(commands.begin(), commands.end(), "RETR VKP3000/3106.bin"),
                     real || server == "pasv" ? 0 : 1);
            // Every answer is the one to its own command: nothing shifted.
            QCOMPARE(ftp.FileSize("VKP3000/VKP3000.txt"), 5LL);
            QCOMPARE(ftp.Quit(), 1);
            QCOMPARE(ftp.ReplyText().substr(0, 3), std::string("221"));
        } else {
            const UpdateServer target = LoopbackServer(port, real ? 5000 : 1000);
            QCOMPARE(UrlFetch(target).Fetch(serverPath, cache, firmware::MaxFileSize, &seen),
                     result);
        }
        QCOMPARE(readFile(cache + serverPath), content);
        // The bar's source: the last report is the whole file against its announced size.
        if (content == Image)
            QCOMPARE(seen.last, std::make_pair(70000LL, 70000LL));
        // Taken in: the bound and at most one read beyond, never the flood.
        const long long bound = serverPath.contains("unannounced") ? firmware::MaxFileSize : 70000;
        QVERIFY2(server != "flood" || seen.last.first <= bound + 64 * 1024,
                 qPrintable(QString::number(seen.last.first)));
        QCOMPARE(filesBelow(cache), QStringList{serverPath});
    }

    void lineBreakRefused()
    {
        // A line break would put a second command of the caller's on the wire.
        FakeFtpServer fake(faulty(""));
        FtpClient client;
        connectTo(client, fake.port(), 400);
        QCOMPARE(client.Login(), 0);
        QTest::ignoreMessage(QtDebugMsg, "Refused to send a command with a line break");
        QCOMPARE(client.FileSize("x\r\nDELE VKP3000/3106.bin"), -1LL);
        for (const std::string &command : fake.commands())
            QVERIFY2(command.rfind("DELE", 0) != 0, command.c_str());
    }

    void overLongListing()
    {
        // A listing past the bound fails, gives no names, and leaves the client in step.
        FakeFtpOptions options = faulty("");
        const std::string line = options.listing;
        while (options.listing.size() <= FtpClient::MaxListingLength)
            options.listing += line;
        FakeFtpServer fake(options);
        FtpClient client;
        connectTo(client, fake.port());
        QCOMPARE(client.Login(), 0);
        QCOMPARE(client.ListDirectory(), -1);
        QVERIFY(client.ListedNames().empty());
        QCOMPARE(client.FileSize("VKP3000/VKP3000.txt"), 5LL);
    }

    void unansweredLogin_data()
    {
        QTest::addColumn<QString>("fault");   // "closed": nothing listens
        QTest::addColumn<QString>("message"); // the debug line naming the reason

        const QString timedOut = "^No reply from the server within 400 ms$";
        QTest::newRow("connection refused") << "closed"
                                            << "^Control Socket Connecting Failed:  \\d+$";
        QTest::newRow("no greeting") << "silent" << timedOut;
        QTest::newRow("greeting at 5 bytes/s") << "slow replies" << timedOut;
        QTest::newRow("over-long greeting") << "over-long greeting"
                                            << "^ERROR! Too long information too receive!$";
    }

    void unansweredLogin()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);

        FakeFtpServer fake(faulty(fault));
        FtpClient client;
        connectTo(client, fault == "closed" ? ClosedPort() : fake.port(), 400);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));
        QCOMPARE(client.Login(), -1);
        QCOMPARE(client.FileSize("VKP3000/3106.bin"), -1LL);
        QCOMPARE(client.Download("VKP3000/3106.bin", cache.toStdString()), -1);
        QCOMPARE(filesBelow(cache), QStringList());
        // After a lost reply nothing more is sent: every answer would be out of step.
        QVERIFY(fake.commands().empty());
    }

    void workerResults()
    {
        // Only a job that ran to its end has a result: one that threw, or never ran, failed.
        OnlineWorker done([](TransferControl &) { return 0; });
        OnlineWorker throwing([](TransferControl &) -> int { throw std::bad_alloc(); });
        OnlineWorker unstarted([](TransferControl &) { return 0; });
        QTest::ignoreMessage(QtWarningMsg, "the transfer failed: std::bad_alloc");
        done.start();
        throwing.start();
        QVERIFY(done.wait(5000) && throwing.wait(5000));
        QCOMPARE(done.result(), 0);
        QCOMPARE(throwing.result(), int(OnlineWorker::Failed));
        QCOMPARE(unstarted.result(), int(OnlineWorker::Failed));
    }

    void threadRunsUntilDestroyed()
    {
        auto *thread = new FtpThread;
        thread->SetServer(server.server());
        thread->SetPaths("VKP3000/3106.bin", cache);
        const QString target = cache + "VKP3000/3106.bin";
        thread->start();
        QTRY_COMPARE_WITH_TIMEOUT(readFile(target), Image, 10000);
        // It goes on fetching: a removed copy comes back.
        QVERIFY(QFile::remove(target));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target), 10000);
        // Now in its pause between attempts: destroying it must stop and join it, or Qt aborts on
        // a thread destroyed while running.
        QVERIFY(thread->isRunning());
        delete thread;
    }

    void versionFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: missing on the server
        QTest::addColumn<bool>("staleCopy");     // a copy from an earlier run in the cache
        QTest::addColumn<QStringList>("lines");  // empty: refused

        QTest::newRow("two lines, stale copy") << QByteArray("4100\r\nrelease notes\r\n") << true
                                               << QStringList{"4100", "release notes"};
        QTest::newRow("missing, stale copy") << QByteArray() << true << QStringList();
        QTest::newRow("climbs out") << QByteArray("../../x\n") << false << QStringList();
        QTest::newRow("over 4 KiB")
            << QByteArray("4100\n").append(4096, 'x') << false << QStringList();
    }

    void versionFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, staleCopy);
        QFETCH(QStringList, lines);

        const QString name = "VKP4000/VKP4000.txt"; // no VKP4000 folder in the cache yet
        QFile::remove(server.root() + "/" + name);
        if (!content.isNull())
            QVERIFY(server.put(name, content));
        if (staleCopy)
            QVERIFY(writeFile(cache + name, "4200\n"));

        QStringList got{"untouched"};
        QCOMPARE(update().LoadVersionFile(name, name, got), lines.isEmpty() ? -1 : 0);
        QCOMPARE(got, lines.isEmpty() ? QStringList{"untouched"} : lines);
        const QString version = QString::fromUtf8(content).split('\n').first();
        if (lines.isEmpty() && !IsPlainVersion(version)) {
            // Even when handed the line directly, the image fetch refuses it.
            QString imagePath;
            QCOMPARE(update().FetchImageByUrl("VKP4000", version, &imagePath), -1);
        }
        // The copy is read and removed, and nothing else was written.
        QCOMPARE(filesBelow(app->path()), QStringList());
    }

    void imageFetches()
    {
        // An empty image on the server transfers cleanly but is no image.
        QString imagePath;
        QCOMPARE(update().FetchImageByUrl("VKP3000", "3999", &imagePath), -1);
        QCOMPARE(update().FetchByFtp("VKP3000/3999.bin", cache), OnlineUpdate::FtpResult::Missing);
        // No local model folder: the download cannot be written.
        QCOMPARE(update().FetchByFtp("VKP5000/5000.bin", cache), OnlineUpdate::FtpResult::Failed);
        // Paths that climb out of the cache.
        for (const char *path : {"../../x.bin", "VKP3000/../../x.bin", "../file2/x.bin"}) {
            QCOMPARE(UrlFetch(server.server()).Fetch(path, cache, 1), int(CURLE_WRITE_ERROR));
            QCOMPARE(update().FetchByFtp(path, cache), OnlineUpdate::FtpResult::Failed);
        }
        QCOMPARE(filesBelow(app->path()), QStringList());
        QVERIFY(!QFile::exists(QFileInfo(app->path()).path() + "/x.bin"));
    }

private:
    OnlineUpdate update() const { return OnlineUpdate(server.server(), cache); }

    FtpServerFixture server;
    QTemporaryDir *app = nullptr;
    QString cache; // the program's "file/" folder, ending in "/"
};

QTEST_GUILESS_MAIN(TestOnlineTransfers)
#include "tst_onlinetransfers.moc"
