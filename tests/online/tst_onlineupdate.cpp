// The online check's transfers against a real FTP server on loopback, and against a scripted
// one for broken and silent transfers: the URL fetch through libcurl, version files and
// images into a cache folder, and nothing outside it whatever the server says.
#include "fakeftpserver.h"
#include "ftpserverfixture.h"
#include "onlineupdate.h"
#include "urlfetch.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>
#include <curl/curl.h>

namespace {
const QByteArray Image = QByteArray("\x00\x00\x00\x08", 4) + QByteArray(50000, '\n') + "\r\n\xff";

// Every file below `folder`, relative to it.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}
} // namespace

class TestOnlineUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void urlFetch_data();
    void urlFetch();
    void brokenUrlFetch_data();
    void brokenUrlFetch();
    void versionFile_data();
    void versionFile();
    void hostileVersionLines_data();
    void hostileVersionLines();
    void images();
    void pathsOutsideTheCacheAreRefused();

private:
    OnlineUpdate update() const { return OnlineUpdate(server.server(), cache); }

    FtpServerFixture server;
    QTemporaryDir *app = nullptr;
    QString cache; // the program's "file/" folder, ending in "/"
};

void TestOnlineUpdate::initTestCase()
{
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(server.put("VKP3000/VKP3000.txt", "3106\r\nrelease notes\r\n"));
    QVERIFY(server.put("VKP3000/3106.bin", Image));
    QVERIFY(server.put("VKP3000/3999.bin", ""));
    QVERIFY(server.put("VKP2000/VKP2000.txt", "2050\n"));
    QVERIFY(server.put("VKP2000/2050.bin", Image));
    QVERIFY(server.put("VKP1000/VKP1000.txt", ""));
    QVERIFY(server.put("VKP5000/5000.bin", Image));
    QVERIFY(server.put("empty.txt", ""));
    // Named by the hostile cases below: only our refusal keeps them out of reach.
    QVERIFY(server.put("x.bin", Image));
    QVERIFY(server.put("y.bin", Image));
    QVERIFY(server.put("file2/x.bin", Image));
    QVERIFY(server.put("VKP4000/3106 .bin", Image));
}

void TestOnlineUpdate::init()
{
    delete app;
    app = new QTemporaryDir;
    cache = app->filePath("file") + "/";
    for (const char *model : {"VKP1000", "VKP2000", "VKP3000"})
        QVERIFY(QDir().mkpath(cache + model));
}

void TestOnlineUpdate::urlFetch_data()
{
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("content"); // null: no file is made

    QTest::newRow("version file") << true << "VKP3000/VKP3000.txt" << 0
                                  << QByteArray("3106\r\nrelease notes\r\n");
    QTest::newRow("from the server root")
        << true << "/VKP2000/VKP2000.txt" << 0 << QByteArray("2050\n");
    QTest::newRow("image") << true << "VKP3000/3106.bin" << 0 << Image;
    QTest::newRow("empty on the server") << true << "empty.txt" << 0 << QByteArray();
    QTest::newRow("missing on the server")
        << true << "VKP3000/9999.bin" << int(CURLE_REMOTE_FILE_NOT_FOUND) << QByteArray();
    QTest::newRow("missing folder on the server")
        << true << "VKP9000/VKP9000.txt" << int(CURLE_REMOTE_ACCESS_DENIED) << QByteArray();
    QTest::newRow("unreachable server")
        << false << "VKP3000/3106.bin" << int(CURLE_COULDNT_CONNECT) << QByteArray();
}

void TestOnlineUpdate::urlFetch()
{
    QFETCH(bool, serverUp);
    QFETCH(QString, serverPath);
    QFETCH(int, result);
    QFETCH(QByteArray, content);

    const UpdateServer target = serverUp ? server.server() : LoopbackServer(ClosedPort(), 1000);
    const QString local = QDir::cleanPath(cache + serverPath);
    QCOMPARE(UrlFetch(target).Fetch(serverPath, cache), result);
    QCOMPARE(readFile(local), content.isNull() ? QByteArray("<none>") : content);
    QVERIFY(!QFile::exists(local + ".part"));
    if (result != 0) {
        // A failed fetch leaves an earlier copy as it was.
        QVERIFY(writeFile(local, "from an earlier run"));
        QCOMPARE(UrlFetch(target).Fetch(serverPath, cache), result);
        QCOMPARE(readFile(local), QByteArray("from an earlier run"));
    }
}

void TestOnlineUpdate::brokenUrlFetch_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("silentFrom");
    QTest::addColumn<int>("result");

    // SIZE says the whole image, the data connection closes half way.
    QTest::newRow("half the image") << false << QString() << int(CURLE_PARTIAL_FILE);
    QTest::newRow("no greeting") << true << QString() << int(CURLE_OPERATION_TIMEDOUT);
    QTest::newRow("no answer to RETR") << false << "RETR" << int(CURLE_OPERATION_TIMEDOUT);
}

void TestOnlineUpdate::brokenUrlFetch()
{
    QFETCH(bool, silent);
    QFETCH(QString, silentFrom);
    QFETCH(int, result);

    FakeFtpOptions options;
    options.files["VKP3000/3106.bin"] = Image.toStdString();
    options.dataLimit = Image.size() / 2;
    options.silent = silent;
    options.silentFrom = silentFrom.toStdString();
    FakeFtpServer fake(options);
    const QString local = cache + "VKP3000/3106.bin";
    QVERIFY(writeFile(local, "old image"));

    QCOMPARE(UrlFetch(LoopbackServer(fake.port(), 1000)).Fetch("VKP3000/3106.bin", cache), result);
    QCOMPARE(readFile(local), QByteArray("old image"));
    QVERIFY(!QFile::exists(local + ".part"));
}

void TestOnlineUpdate::versionFile_data()
{
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<bool>("staleCopy");
    QTest::addColumn<QStringList>("lines"); // empty: the fetch fails

    QTest::newRow("VKP3000") << "VKP3000/VKP3000.txt" << false
                             << QStringList{"3106", "release notes"};
    QTest::newRow("from the server root") << "/VKP2000/VKP2000.txt" << true << QStringList{"2050"};
    QTest::newRow("missing") << "VKP3200/VKP3200.txt" << false << QStringList();
    // A copy from an earlier run must not pass for an answer from the server.
    QTest::newRow("missing, stale copy") << "VKP3200/VKP3200.txt" << true << QStringList();
    QTest::newRow("empty file") << "VKP1000/VKP1000.txt" << false << QStringList();
}

void TestOnlineUpdate::versionFile()
{
    QFETCH(QString, serverPath);
    QFETCH(bool, staleCopy);
    QFETCH(QStringList, lines);

    const QString savePath = serverPath.mid(serverPath.startsWith('/') ? 1 : 0);
    if (staleCopy)
        QVERIFY(writeFile(cache + savePath, "3300\n"));
    QStringList got{"untouched"};
    QCOMPARE(update().LoadVersionFile(serverPath, savePath, got), lines.isEmpty() ? -1 : 0);
    QCOMPARE(got, lines.isEmpty() ? QStringList{"untouched"} : lines);
    // The copy is read and then removed.
    QVERIFY(!QFile::exists(cache + savePath));
}

void TestOnlineUpdate::hostileVersionLines_data()
{
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("climbs out") << QByteArray("../../x");
    QTest::newRow("number then climbs out") << QByteArray("3106/../../y");
    QTest::newRow("trailing blank") << QByteArray("3106 ");
    QTest::newRow("empty first line") << QByteArray("\n3106");
    QTest::newRow("absolute path") << QByteArray("/etc/x");
}

void TestOnlineUpdate::hostileVersionLines()
{
    QFETCH(QByteArray, line);
    QVERIFY(server.put("VKP4000/VKP4000.txt", line + "\n"));
    const QStringList before = filesBelow(app->path());

    QStringList lines;
    QCOMPARE(update().LoadVersionFile("VKP4000/VKP4000.txt", "VKP4000/VKP4000.txt", lines), -1);
    QVERIFY(lines.isEmpty());
    // Even when handed the line directly, the image fetch refuses it.
    QString imagePath;
    const QString version = QString::fromUtf8(line).split('\n').first();
    QCOMPARE(update().FetchImageByUrl("VKP4000", version, &imagePath), -1);

    QCOMPARE(filesBelow(app->path()), before);
}

void TestOnlineUpdate::images()
{
    QString imagePath;
    QCOMPARE(update().FetchImageByUrl("VKP3000", "3106", &imagePath), 0);
    QCOMPARE(QDir::cleanPath(imagePath), QDir::cleanPath(cache + "VKP3000/3106.bin"));
    QCOMPARE(readFile(imagePath), Image);
    QVERIFY(update().FetchImageByUrl("VKP3000", "3107", &imagePath) > 0);
    QVERIFY(!QFile::exists(imagePath));
    // An empty image on the server transfers cleanly but is no image.
    QCOMPARE(update().FetchImageByUrl("VKP3000", "3999", &imagePath), -1);
    QVERIFY(!QFile::exists(imagePath));

    using Result = OnlineUpdate::FtpResult;
    QCOMPARE(update().FetchByFtp("VKP2000/2050.bin", cache), Result::Done);
    QCOMPARE(readFile(cache + "VKP2000/2050.bin"), Image);
    QCOMPARE(update().FetchByFtp("VKP2000/2051.bin", cache), Result::Missing);
    QCOMPARE(update().FetchByFtp("VKP3000/3999.bin", cache), Result::Missing);
    // No local model folder: the download cannot be written.
    QCOMPARE(update().FetchByFtp("VKP5000/5000.bin", cache), Result::Failed);
    QCOMPARE(filesBelow(cache), QStringList({"VKP2000/2050.bin", "VKP3000/3106.bin"}));
}

void TestOnlineUpdate::pathsOutsideTheCacheAreRefused()
{
    const QStringList before = filesBelow(app->path());
    for (const char *path : {"../../x.bin", "VKP3000/../../x.bin", "../file2/x.bin"}) {
        QCOMPARE(UrlFetch(server.server()).Fetch(path, cache), int(CURLE_WRITE_ERROR));
        QCOMPARE(update().FetchByFtp(path, cache), OnlineUpdate::FtpResult::Failed);
    }
    QCOMPARE(filesBelow(app->path()), before);
    QVERIFY(!QFile::exists(QFileInfo(app->path()).path() + "/x.bin"));
}

QTEST_GUILESS_MAIN(TestOnlineUpdate)
#include "tst_onlineupdate.moc"
