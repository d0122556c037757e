// The real updater program: a second copy under the same executable name exits at
// once with code 0; a copy under another name runs.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondCopyExits();

private:
    static void start(QProcess &process, const QString &program)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("HIDLINK_BACKEND");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QFileInfo(program).path());
        process.start(program, QStringList());
    }
    static void stop(QProcess &process)
    {
        process.kill();
        process.waitForFinished(5000);
    }
};

void TestSingleInstance::secondCopyExits()
{
    QTemporaryDir dir;
    const QString sameName = dir.filePath("same/updater");
    const QString otherName = dir.filePath("updater_other");
    QVERIFY(QDir().mkpath(dir.filePath("same")));
    QVERIFY(QFile::copy(UPDATER_BINARY, sameName));
    QVERIFY(QFile::copy(UPDATER_BINARY, otherName));

    QProcess first;
    start(first, UPDATER_BINARY);
    QVERIFY(first.waitForStarted());
    QVERIFY2(!first.waitForFinished(1500), "the first copy did not stay up");

    // Same executable name, even from another folder: ends at once with 0.
    QProcess second;
    start(second, sameName);
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);

    QProcess other;
    start(other, otherName);
    QVERIFY(other.waitForStarted());
    QVERIFY2(!other.waitForFinished(1500), "a copy under another name was stopped");
    stop(other);
    stop(first);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
