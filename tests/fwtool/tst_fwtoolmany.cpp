// `fwtool list`, `flash --device`, `--all` and `--watch`: the real executable with several
// emulated devices in its process. The tools all start at once and run side by side,
// each with a lock folder of its own, since every tool's devices have the same paths.
#include "emulatorenvironment.h"
#include <flash/firmwareimage.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

class TestFwtoolMany : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void allOnFourDevicesOneFaulty();
    void watchUpdatesEachPluggedDeviceOnce();
    void listJson();
    void deviceThatDoesNotExist();

private:
    void start(QProcess &tool, const QStringList &args, const QStringList &env);
    bool imagesMatch(const QString &folder) const;
    static QString path(int index);

    QTemporaryDir dir;
    QString file;
    QProcess all, watch, list, missing;
};

QString TestFwtoolMany::path(int index)
{
    return QString("\\\\?\\hid#vid_0483&pid_0526#7&2f1c5a3&0&%1#"
                   "{4d1e55b2-f16f-11cf-88cb-001111000030}")
        .arg(index, 4, 10, QChar('0'));
}

void TestFwtoolMany::initTestCase()
{
    QVERIFY(dir.isValid());
    // 400 packets: 0.8 s of transfer per device at the protocol's pace.
    QByteArray dsp(1600, '\0'), arm(1600, '\0');
    for (int i = 0; i < dsp.size(); ++i) {
        dsp[i] = char(i * 7 + i / 251);
        arm[i] = char(i * 13 + i / 241);
    }
    QFile out(dir.filePath("good.fw"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(firmware::pack(dsp, arm, 1251, '\xFF'));
    file = out.fileName();
    out.close();

    for (const char *name : {"all", "watch", "list", "missing"})
        QVERIFY(QDir(dir.path()).mkpath(name));
    // Device 2 never enters update mode: error 1 after the watchdog's ten seconds, which
    // are the same on a loaded machine (a stage's time-out counts 2 ms ticks), exit 11.
    start(all, {"flash", file, "--all"},
          {"EMULATOR_DEVICES=4", "EMULATOR_FAULT_DEVICE=2", "EMULATOR_NO_U=1",
           "EMULATOR_IMAGE_DIR=" + dir.filePath("all"), "RIVET_LOCK_DIR=" + dir.filePath("all")});
    // Plugged in one after another; device 3 is current; device 1 is pulled out after
    // its update and plugged in again.
    start(watch, {"flash", file, "--watch", "--json"},
          {"EMULATOR_DEVICES=4", "EMULATOR_VERSION=1250,1250,1251,1250",
           "EMULATOR_PLUG_AFTER_MS=0,300,600,900", "EMULATOR_REPLUG_DEVICE=1",
           "EMULATOR_IMAGE_DIR=" + dir.filePath("watch"),
           "RIVET_LOCK_DIR=" + dir.filePath("watch")});
    // Device 2 answers no version query in time.
    start(list, {"list", "--json"},
          {"EMULATOR_DEVICES=3", "EMULATOR_VERSION=1250,1249,1251", "EMULATOR_FAULT_DEVICE=2",
           "EMULATOR_LATENCY_MS=4000", "RIVET_LOCK_DIR=" + dir.filePath("list")});
    start(missing, {"flash", file, "--device", "/dev/hidraw-none"},
          {"EMULATOR_DEVICES=2", "RIVET_LOCK_DIR=" + dir.filePath("missing")});
}

void TestFwtoolMany::start(QProcess &tool, const QStringList &args, const QStringList &env)
{
    tool.setProcessEnvironment(emulatorEnvironment(env));
    tool.start(FWTOOL, args);
    QVERIFY(tool.waitForStarted());
}

bool TestFwtoolMany::imagesMatch(const QString &folder) const
{
    QFile source(file), dsp(folder + "/dsp.bin"), arm(folder + "/arm.bin");
    return source.open(QIODevice::ReadOnly) && dsp.open(QIODevice::ReadOnly) &&
           arm.open(QIODevice::ReadOnly) &&
           dsp.readAll() + arm.readAll() == source.readAll().mid(16);
}

void TestFwtoolMany::allOnFourDevicesOneFaulty()
{
    QVERIFY(all.state() == QProcess::NotRunning || all.waitForFinished(120000));
    const QString out = all.readAllStandardOutput();
    QCOMPARE(all.exitCode(), 11);
    QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() == 3 * 10 + 5, qPrintable(out));
    QCOMPARE(lines.takeLast(), QString("3 updated, 1 failed, 0 skipped"));
    // Side by side: every good device had its first tenth before any had its last.
    const int firstLast = lines.indexOf(QRegularExpression(".*100 %.*"));
    for (int device : {0, 2, 3})
        QVERIFY2(lines.indexOf(QRegularExpression(QRegularExpression::escape(path(device)) +
                                                  "  DSP  10 %.*")) < firstLast,
                 qPrintable(out));
    const QStringList outcomes = lines.mid(lines.size() - 4);
    for (int device = 0; device < 4; ++device) {
        QVERIFY2(outcomes.at(device).startsWith(path(device) + ": " +
                                                (device == 1 ? "Error 1" : "Update Complete!")),
                 qPrintable(out));
        QCOMPARE(imagesMatch(dir.filePath("all/%1").arg(device + 1)), device != 1);
    }
}

void TestFwtoolMany::watchUpdatesEachPluggedDeviceOnce()
{
    // Five results: four updates (device 1 twice) and device 3 skipped.
    QByteArray out;
    QVERIFY(QTest::qWaitFor(
        [&] {
            out += watch.readAllStandardOutput();
            return out.count('\n') >= 5 || watch.state() == QProcess::NotRunning;
        },
        60000));
    // processId() is 0 once the tool has ended, and a signal to 0 reaches this test's group.
    const qint64 pid = watch.processId();
    QVERIFY2(watch.state() == QProcess::Running && pid > 0, out.constData());
    QCOMPARE(::kill(pid_t(pid), SIGINT), 0);
    QVERIFY(watch.waitForFinished(10000));
    QCOMPARE(watch.exitCode(), 0);
    const QList<QByteArray> lines = (out + watch.readAllStandardOutput()).trimmed().split('\n');
    QCOMPARE(lines.size(), 6);
    QMap<QString, QStringList> outcomes;
    for (int i = 0; i < 5; ++i) {
        const QJsonObject line = QJsonDocument::fromJson(lines.at(i)).object();
        outcomes[line.value("path").toString()] << line.value("outcome").toString();
        QCOMPARE(line.value("updated").toInt() + line.value("skipped").toInt(), i + 1);
        if (line.value("outcome") == "already-current")
            QCOMPARE(line.value("message").toString(), QString("already at version 1251"));
    }
    QCOMPARE(outcomes.value(path(0)), QStringList({"complete", "complete"}));
    QCOMPARE(outcomes.value(path(1)), QStringList{"complete"});
    QCOMPARE(outcomes.value(path(2)), QStringList{"already-current"});
    QCOMPARE(outcomes.value(path(3)), QStringList{"complete"});
    const QJsonObject totals = QJsonDocument::fromJson(lines.last()).object();
    QCOMPARE(totals.value("updated").toInt(), 4);
    QCOMPARE(totals.value("skipped").toInt(), 1);
    QCOMPARE(totals.value("failed").toInt(), 0);
    for (int device : {1, 2, 4})
        QVERIFY(imagesMatch(dir.filePath("watch/%1").arg(device)));
    QVERIFY(!QFile::exists(dir.filePath("watch/3/arm.bin")));
}

void TestFwtoolMany::listJson()
{
    QVERIFY(list.state() == QProcess::NotRunning || list.waitForFinished(30000));
    QCOMPARE(list.exitCode(), 0);
    const QJsonArray devices = QJsonDocument::fromJson(list.readAllStandardOutput()).array();
    QCOMPARE(devices.size(), 3);
    const QJsonValue versions[] = {1250, QJsonValue(), 1251};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject device = devices.at(i).toObject();
        QCOMPARE(device.value("path").toString(), path(i));
        QCOMPARE(device.value("version"), versions[i]);
        QCOMPARE(device.value("busy").toBool(), false);
    }
}

void TestFwtoolMany::deviceThatDoesNotExist()
{
    QVERIFY(missing.state() == QProcess::NotRunning || missing.waitForFinished(30000));
    QCOMPARE(missing.exitCode(), 4);
    QVERIFY(missing.readAllStandardError().contains("no device found (/dev/hidraw-none)"));
}

QTEST_GUILESS_MAIN(TestFwtoolMany)
#include "tst_fwtoolmany.moc"
