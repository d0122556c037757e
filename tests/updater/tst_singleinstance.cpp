// The real updater program: a second copy under the same executable name exits at
// once with code 0, after asking the first to show its window; a copy under another
// name runs. The copies carry names of this
// run only, so that an updater running on the machine meanwhile changes nothing.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondCopyExits();
};

void TestSingleInstance::secondCopyExits()
{
    QTemporaryDir dir;
    // Windows starts only files with an executable's suffix.
    const QFileInfo binary(UPDATER_BINARY);
    const QString suffix = binary.suffix().isEmpty() ? QString() : "." + binary.suffix();
    const QString name = QStringLiteral("updater-%1").arg(QCoreApplication::applicationPid());
    const QString firstName = dir.filePath("first/" + name + suffix);
    const QString sameName = dir.filePath("same/" + name + suffix);
    const QString otherName = dir.filePath(name + "-other" + suffix);
    QVERIFY(QDir().mkpath(dir.filePath("first")) && QDir().mkpath(dir.filePath("same")));
    for (const QString &copy : {firstName, sameName, otherName})
        QVERIFY(QFile::copy(UPDATER_BINARY, copy));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("HIDLINK_BACKEND");
    env.insert("XDG_DATA_HOME", dir.path()); // their log files
    QProcess first, second, other;
    for (auto [process, program] :
         {std::pair{&first, firstName}, {&second, sameName}, {&other, otherName}}) {
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(QFileInfo(program).path());
        process->setProgram(program);
    }

    // A copy under a longer name beside it: neither takes the other for a second copy.
    first.start();
    other.start();
    QVERIFY(first.waitForStarted() && other.waitForStarted());
    QVERIFY2(!first.waitForFinished(1000), "the first copy did not stay up");
    QVERIFY2(other.state() == QProcess::Running, "a copy under another name was stopped");
    // Same executable name, even from another folder: ends at once with 0.
    second.start();
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
#ifndef Q_OS_WIN
    // It asked the running copy first, which brought its window to the front. (On
    // Windows the second copy raises the window itself.)
    QByteArray said;
    QTRY_VERIFY2((said += first.readAllStandardError())
                     .contains("a later start brought the window to the front"),
                 said.constData());
#endif
    for (QProcess *process : {&other, &first}) {
        process->kill();
        process->waitForFinished(5000);
    }
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
