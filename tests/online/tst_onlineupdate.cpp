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
const QByteArray Old = "from an earlier run";

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
    void versionFile_data();
    void versionFile();
    void missingAndEmptyImages();
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
    QVERIFY(server.put("VKP3000/3106.bin", Image));
    QVERIFY(server.put("VKP3000/3999.bin", ""));
    QVERIFY(server.put("VKP5000/5000.bin", Image));
    QVERIFY(server.put("empty.txt", ""));
    // Named by the hostile cases below: only our refusal keeps them out of reach.
    QVERIFY(server.put("x.bin", Image));
    QVERIFY(server.put("file2/x.bin", Image));
    QVERIFY(server.put("VKP4000/3106 .bin", Image));
}

void TestOnlineUpdate::init()
{
    delete app;
    app = new QTemporaryDir;
    cache = app->filePath("file") + "/";
    QVERIFY(QDir().mkpath(cache));
}

// Each fetch finds a copy from an earlier run in place: only a whole new file replaces it.
void TestOnlineUpdate::urlFetch_data()
{
    QTest::addColumn<QString>("server"); // "real", "closed", or the scripted one's fault
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("content");

    const QString real = "real";
    const QString image = "VKP3000/3106.bin";
    QTest::newRow("image") << real << image << 0 << Image;
    QTest::newRow("empty on the server") << real << "empty.txt" << 0 << Old;
    QTest::newRow("missing on the server")
        << real << "VKP3000/9999.bin" << int(CURLE_REMOTE_FILE_NOT_FOUND) << Old;
    QTest::newRow("unreachable server") << "closed" << image << int(CURLE_COULDNT_CONNECT) << Old;
    // SIZE says the whole image, the data connection closes half way.
    QTest::newRow("half the image") << "half" << image << int(CURLE_PARTIAL_FILE) << Old;
    QTest::newRow("no greeting") << "silent" << image << int(CURLE_OPERATION_TIMEDOUT) << Old;
    QTest::newRow("no answer to RETR") << "RETR" << image << int(CURLE_OPERATION_TIMEDOUT) << Old;
}

void TestOnlineUpdate::urlFetch()
{
    QFETCH(QString, server);
    QFETCH(QString, serverPath);
    QFETCH(int, result);
    QFETCH(QByteArray, content);

    FakeFtpOptions options;
    options.files["VKP3000/3106.bin"] = Image.toStdString();
    if (server == "half")
        options.dataLimit = Image.size() / 2;
    if (server == "silent")
        options.greeting.clear();
    if (server == "RETR")
        options.silentFrom = "RETR";
    FakeFtpServer fake(options);
    const bool real = server == "real";
    const quint16 port = real                 ? this->server.port()
                         : server == "closed" ? ClosedPort()
                                              : fake.port();
    const QString local = cache + serverPath;
    QVERIFY(writeFile(local, Old));

    QCOMPARE(UrlFetch(LoopbackServer(port, real ? 5000 : 1000)).Fetch(serverPath, cache), result);
    QCOMPARE(readFile(local), content);
    QVERIFY(!QFile::exists(local + ".part"));
}

void TestOnlineUpdate::versionFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: missing on the server
    QTest::addColumn<bool>("staleCopy");     // a copy from an earlier run in the cache
    QTest::addColumn<QStringList>("lines");  // empty: refused

    QTest::newRow("two lines, stale copy")
        << QByteArray("4100\r\nrelease notes\r\n") << true << QStringList{"4100", "release notes"};
    QTest::newRow("missing, stale copy") << QByteArray() << true << QStringList();
    QTest::newRow("empty file") << QByteArray("") << false << QStringList();
    QTest::newRow("climbs out") << QByteArray("../../x\n") << false << QStringList();
    QTest::newRow("trailing blank") << QByteArray("3106 \n") << false << QStringList();
    QTest::newRow("empty first line") << QByteArray("\n3106\n") << false << QStringList();
    QTest::newRow("absolute path") << QByteArray("/etc/x\n") << false << QStringList();
}

void TestOnlineUpdate::versionFile()
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
    if (lines.isEmpty()) {
        // Even when handed the line directly, the image fetch refuses it.
        QString imagePath;
        const QString version = QString::fromUtf8(content).split('\n').first();
        QCOMPARE(update().FetchImageByUrl("VKP4000", version, &imagePath), -1);
    }
    // The copy is read and removed, and nothing else was written.
    QCOMPARE(filesBelow(app->path()), QStringList());
}

void TestOnlineUpdate::missingAndEmptyImages()
{
    QString imagePath;
    QVERIFY(update().FetchImageByUrl("VKP3000", "3107", &imagePath) > 0);
    QCOMPARE(QDir::cleanPath(imagePath), QDir::cleanPath(cache + "VKP3000/3107.bin"));
    // An empty image on the server transfers cleanly but is no image.
    QCOMPARE(update().FetchImageByUrl("VKP3000", "3999", &imagePath), -1);
    QCOMPARE(update().FetchByFtp("VKP3000/3999.bin", cache), OnlineUpdate::FtpResult::Missing);
    // No local model folder: the download cannot be written.
    QCOMPARE(update().FetchByFtp("VKP5000/5000.bin", cache), OnlineUpdate::FtpResult::Failed);
    QCOMPARE(filesBelow(app->path()), QStringList());
}

void TestOnlineUpdate::pathsOutsideTheCacheAreRefused()
{
    for (const char *path : {"../../x.bin", "VKP3000/../../x.bin", "../file2/x.bin"}) {
        QCOMPARE(UrlFetch(server.server()).Fetch(path, cache), int(CURLE_WRITE_ERROR));
        QCOMPARE(update().FetchByFtp(path, cache), OnlineUpdate::FtpResult::Failed);
    }
    QCOMPARE(filesBelow(app->path()), QStringList());
    QVERIFY(!QFile::exists(QFileInfo(app->path()).path() + "/x.bin"));
}

QTEST_GUILESS_MAIN(TestOnlineUpdate)
#include "tst_onlineupdate.moc"
