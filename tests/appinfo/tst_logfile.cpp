// The window programs' log file: every message lands there and still where it went
// before, the file stays under its bound with the previous one kept as .1, and an
// unwritable place costs nothing but the file.

#include <appinfo/logfile.h>

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

namespace {

Q_LOGGING_CATEGORY(lcTest, "rivet.test")

QStringList before;
void keepBefore(QtMsgType, const QMessageLogContext &, const QString &message)
{
    before << message;
}

QString contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestLogFile : public QObject
{
    Q_OBJECT

private slots:
    void linesLandAndRotateAtTheBound();
    void unwritablePlaceKeepsTheLog();
};

void TestLogFile::linesLandAndRotateAtTheBound()
{
    QVERIFY(appinfo::logFilePath().endsWith("/tst_logfile/tst_logfile.log"));
    QTemporaryDir dir;
    const QString path = dir.filePath("program/program.log"); // the folder is made
    const qint64 limit = 400;
    const QtMessageHandler outer = qInstallMessageHandler(keepBefore);
    {
        const appinfo::LogFile log(path, limit);
        qCInfo(lcTest) << "device arrived";
        // From a reader thread too, as device arrivals come.
        std::thread([] { qCWarning(lcTest, "from a thread"); }).join();
        const QStringList lines = contents(path).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3} "
                                    "rivet\\.test: device arrived$")
                     .match(lines[0])
                     .hasMatch(),
                 qPrintable(lines[0]));
        QVERIFY(lines[1].endsWith(" rivet.test: from a thread"));
        QCOMPARE(before, (QStringList{"device arrived", "from a thread"}));

        // Numbered lines past the bound twice: nothing lost between the two files,
        // the first lines gone with the first .1, neither file over the bound.
        for (int i = 0; i < 20; ++i)
            qCInfo(lcTest, "line %02d of the FTP dialogue", i);
        const QString kept = contents(path + ".1");
        const QString current = contents(path);
        QVERIFY(!kept.isEmpty() && !current.isEmpty());
        QVERIFY(QFileInfo(path + ".1").size() <= limit && QFileInfo(path).size() <= limit);
        QVERIFY(!kept.contains("device arrived") && !kept.contains("line 00"));
        QVERIFY(current.contains("line 19"));
        const QStringList all = (kept + current).split('\n', Qt::SkipEmptyParts);
        const int firstKept = all.first().section("line ", 1).left(2).toInt();
        for (int i = 0; i < all.size(); ++i)
            QVERIFY2(
                all[i].endsWith(
                    QString("line %1 of the FTP dialogue").arg(firstKept + i, 2, 10, QChar('0'))),
                qPrintable(all[i]));
    }
    // Gone with the object: the handler before it has the log again.
    qCInfo(lcTest) << "after";
    QCOMPARE(before.last(), QString("after"));
    QVERIFY(!contents(path).contains("after"));
    qInstallMessageHandler(outer);
}

void TestLogFile::unwritablePlaceKeepsTheLog()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("program.log")); // a folder where the file should be
    const QtMessageHandler outer = qInstallMessageHandler(keepBefore);
    {
        const appinfo::LogFile log(dir.filePath("program.log"), 100);
        for (int i = 0; i < 5; ++i)
            qCInfo(lcTest, "still logged %d", i);
    }
    qInstallMessageHandler(outer);
    QCOMPARE(before.last(), QString("still logged 4"));
    QVERIFY(QFileInfo(dir.filePath("program.log")).isDir());
    QVERIFY(!QFileInfo::exists(dir.filePath("program.log.1")));
}

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
