// FtpThread repeating a download from a real FTP server on loopback.
#include "ftpserverfixture.h"
#include "ftpthread.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestFtpThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetchOnce_data();
    void fetchOnce();
    void runsUntilStopped();
    void destructionStopsAndJoins();

private:
    FtpServerFixture server;
    QTemporaryDir local;
};

void TestFtpThread::initTestCase()
{
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(server.put("VKP3000/3106.bin", QByteArray(4000, 'a')));
    QVERIFY(server.put("VKP3000/3107.bin", QByteArray(5000, 'b')));
    QVERIFY(server.put("VKP3000/empty.bin", QByteArray()));
    QVERIFY(QDir(local.path()).mkpath("VKP3000"));
}

void TestFtpThread::fetchOnce_data()
{
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withFolder");
    QTest::addColumn<int>("result");

    QTest::newRow("image") << true << "VKP3000/3106.bin" << true << 1;
    QTest::newRow("no name") << true << "" << true << 0;
    QTest::newRow("no folder") << true << "VKP3000/3106.bin" << false << 0;
    QTest::newRow("missing on the server") << true << "VKP3000/9999.bin" << true << 0;
    QTest::newRow("empty on the server") << true << "VKP3000/empty.bin" << true << 0;
    QTest::newRow("server down") << false << "VKP3000/3106.bin" << true << -1;
}

void TestFtpThread::fetchOnce()
{
    QFETCH(bool, serverUp);
    QFETCH(QString, name);
    QFETCH(bool, withFolder);
    QFETCH(int, result);

    FtpThread thread;
    UpdateServer target = server.server();
    if (!serverUp)
        target.port = ClosedPort();
    thread.SetServer(target);
    const QString written = local.filePath(name.isEmpty() ? "VKP3000/3106.bin" : name);
    QFile::remove(written);
    QCOMPARE(thread.FetchOnce(name, withFolder ? local.path() : QString()), result);
    QCOMPARE(QFile::exists(written), result == 1);
}

void TestFtpThread::runsUntilStopped()
{
    FtpThread thread;
    thread.SetServer(server.server());
    thread.SetPaths("VKP3000/3107.bin", local.path());
    const QString target = local.filePath("VKP3000/3107.bin");
    QFile::remove(target);
    thread.start();
    QTRY_COMPARE_WITH_TIMEOUT(readFile(target), QByteArray(5000, 'b'), 10000);
    // It goes on fetching: a removed copy comes back.
    QVERIFY(QFile::remove(target));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target), 10000);
    thread.SetRunning(false);
    QVERIFY(thread.wait(10000));
}

void TestFtpThread::destructionStopsAndJoins()
{
    // A thread whose server is down sits in its pause between attempts; destroying it
    // must wake and join it.
    auto *thread = new FtpThread;
    UpdateServer down = server.server();
    down.port = ClosedPort();
    thread->SetServer(down);
    thread->SetPaths("VKP3000/3106.bin", local.path());
    thread->start();
    QTest::qWait(100);
    QVERIFY(thread->isRunning());
    delete thread;
}

QTEST_GUILESS_MAIN(TestFtpThread)
#include "tst_ftpthread.moc"
