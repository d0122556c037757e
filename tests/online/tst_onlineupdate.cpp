// The online check's transfers against a real FTP server on loopback: version files and
// images into a cache folder, and nothing outside it whatever the server says.
#include "ftpserverfixture.h"
#include "onlineupdate.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

namespace {
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
    void versionFile_data();
    void versionFile();
    void modelFolderMadeOnDemand();
    void staleCopyIsNotRead();
    void hostileVersionLines_data();
    void hostileVersionLines();
    void imageByUrl();
    void imageByUrlFailures();
    void imageByFtp_data();
    void imageByFtp();
    void ftpPathOutsideCacheIsRefused();

private:
    OnlineUpdate update() const { return OnlineUpdate(server.server(), cache); }

    FtpServerFixture server;
    QTemporaryDir *app = nullptr;
    QString cache;
    const QByteArray image = QByteArray("\x00\x00\x00\x08", 4) + QByteArray(3000, '\n');
};

void TestOnlineUpdate::initTestCase()
{
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(server.put("VKP3000/VKP3000.txt", "3106\r\nrelease notes\r\n"));
    QVERIFY(server.put("VKP3000/3106.bin", image));
    QVERIFY(server.put("VKP2000/VKP2000.txt", "2050\n"));
    QVERIFY(server.put("VKP2000/2050.bin", image));
    QVERIFY(server.put("VKP6000/VKP6000.txt", "6001\n"));
    QVERIFY(server.put("VKP1000/VKP1000.txt", ""));
    QVERIFY(server.put("VKP3000/3999.bin", ""));
}

void TestOnlineUpdate::init()
{
    delete app;
    app = new QTemporaryDir;
    cache = app->filePath("file") + "/";
    for (const char *model : {"VKP1000", "VKP2000", "VKP3000"})
        QVERIFY(QDir().mkpath(cache + model));
}

void TestOnlineUpdate::versionFile_data()
{
    QTest::addColumn<QString>("serverPath");
    QTest::addColumn<QString>("savePath");
    QTest::addColumn<QStringList>("lines"); // empty: the fetch fails

    QTest::newRow("VKP3000") << "VKP3000/VKP3000.txt"
                             << "VKP3000/VKP3000.txt" << QStringList{"3106", "release notes"};
    QTest::newRow("from the server root") << "/VKP2000/VKP2000.txt"
                                          << "VKP2000/VKP2000.txt" << QStringList{"2050"};
    QTest::newRow("missing") << "VKP3200/VKP3200.txt"
                             << "VKP3200/VKP3200.txt" << QStringList();
    QTest::newRow("empty file") << "VKP1000/VKP1000.txt"
                                << "VKP1000/VKP1000.txt" << QStringList();
}

void TestOnlineUpdate::versionFile()
{
    QFETCH(QString, serverPath);
    QFETCH(QString, savePath);
    QFETCH(QStringList, lines);

    QStringList got{"untouched"};
    const int result = update().LoadVersionFile(serverPath, savePath, got);
    QCOMPARE(result, lines.isEmpty() ? -1 : 0);
    QCOMPARE(got, lines.isEmpty() ? QStringList{"untouched"} : lines);
    // The copy is read and then removed.
    QVERIFY(!QFile::exists(cache + savePath));
}

void TestOnlineUpdate::modelFolderMadeOnDemand()
{
    QVERIFY(!QDir(cache + "VKP6000").exists());
    QStringList lines;
    QCOMPARE(update().LoadVersionFile("VKP6000/VKP6000.txt", "VKP6000/VKP6000.txt", lines), 0);
    QCOMPARE(lines, QStringList{"6001"});
    QVERIFY(QDir(cache + "VKP6000").exists());
}

void TestOnlineUpdate::staleCopyIsNotRead()
{
    // A copy from an earlier run must not pass for an answer from the server.
    QVERIFY(QDir().mkpath(cache + "VKP3200"));
    QVERIFY(writeFile(cache + "VKP3200/VKP3200.txt", "3300\n"));
    QStringList lines;
    QCOMPARE(update().LoadVersionFile("VKP3200/VKP3200.txt", "VKP3200/VKP3200.txt", lines), -1);
    QVERIFY(lines.isEmpty());
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
    // The images such a line would name exist on the server, so only our refusal stops them.
    QVERIFY(server.put("VKP4000/VKP4000.txt", line + "\n"));
    QVERIFY(server.put("x.bin", image));
    QVERIFY(server.put("y.bin", image));
    QVERIFY(server.put("VKP4000/3106 .bin", image));
    const QStringList before = filesBelow(app->path());

    QStringList lines;
    QCOMPARE(update().LoadVersionFile("VKP4000/VKP4000.txt", "VKP4000/VKP4000.txt", lines), -1);
    QVERIFY(lines.isEmpty());

    // Even when handed the line directly, the image fetch refuses it.
    QString imagePath;
    const QString version = QString::fromUtf8(line).split('\n').first();
    QCOMPARE(update().FetchImageByUrl("VKP4000", version, &imagePath), -1);

    QCOMPARE(filesBelow(app->path()), before);
    QVERIFY(!QFile::exists(QFileInfo(app->path()).path() + "/x.bin"));
    QVERIFY(!QFile::exists(QFileInfo(app->path()).path() + "/y.bin"));
}

void TestOnlineUpdate::imageByUrl()
{
    QString imagePath;
    QCOMPARE(update().FetchImageByUrl("VKP3000", "3106", &imagePath), 0);
    QCOMPARE(QDir::cleanPath(imagePath), QDir::cleanPath(cache + "VKP3000/3106.bin"));
    QCOMPARE(readFile(imagePath), image);
}

void TestOnlineUpdate::imageByUrlFailures()
{
    QString imagePath;
    QVERIFY(update().FetchImageByUrl("VKP3000", "3107", &imagePath) > 0);
    QCOMPARE(QDir::cleanPath(imagePath), QDir::cleanPath(cache + "VKP3000/3107.bin"));
    QVERIFY(!QFile::exists(imagePath));
    // An empty image on the server transfers cleanly but is no image.
    QCOMPARE(update().FetchImageByUrl("VKP3000", "3999", &imagePath), -1);
    QVERIFY(!QFile::exists(imagePath));
}

void TestOnlineUpdate::imageByFtp_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<int>("result");

    QTest::newRow("VKP2000 image")
        << "VKP2000/2050.bin" << true << int(OnlineUpdate::FtpResult::Done);
    QTest::newRow("missing on the server")
        << "VKP2000/2051.bin" << true << int(OnlineUpdate::FtpResult::Missing);
    QTest::newRow("empty on the server")
        << "VKP3000/3999.bin" << true << int(OnlineUpdate::FtpResult::Missing);
    QTest::newRow("local folder missing")
        << "VKP2000/2050.bin" << false << int(OnlineUpdate::FtpResult::Failed);
}

void TestOnlineUpdate::imageByFtp()
{
    QFETCH(QString, name);
    QFETCH(bool, folderExists);
    QFETCH(int, result);
    if (!folderExists)
        QVERIFY(QDir(cache + "VKP2000").removeRecursively());

    QCOMPARE(int(update().FetchByFtp(name, cache)), result);
    if (result == int(OnlineUpdate::FtpResult::Done))
        QCOMPARE(readFile(cache + name), image);
    else
        QVERIFY(!QFile::exists(cache + name));
}

void TestOnlineUpdate::ftpPathOutsideCacheIsRefused()
{
    QVERIFY(server.put("x.bin", image));
    const QStringList before = filesBelow(app->path());
    for (const QString &name : {QString("../x.bin"), QString("VKP3000/../../x.bin")})
        QCOMPARE(update().FetchByFtp(name, cache), OnlineUpdate::FtpResult::Failed);
    QCOMPARE(filesBelow(app->path()), before);
}

QTEST_GUILESS_MAIN(TestOnlineUpdate)
#include "tst_onlineupdate.moc"
