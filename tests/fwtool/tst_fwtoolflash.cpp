// `fwtool flash` as a script runs it, with the emulated device: one row per outcome and
// its exit code, Ctrl+C mid-transfer, and a second tool on a device being updated. The
// rows' processes all start at once, so those that wait out the protocol's time-outs
// wait together; each emulates a device of its own, with a lock folder of its own.
#include "emulatorenvironment.h"
#include <flash/firmwareimage.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>
#include <vector>

namespace {

// Patternless bytes, so that a packet out of place shows in the received images.
QByteArray noise(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    for (char &byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = char(seed >> 24);
    }
    return bytes;
}

} // namespace

class TestFwtoolFlash : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void ctrlCStopsTheTransfer(); // while the rows' tools run
    void outcomes_data();
    void outcomes();
    void secondToolOnTheSameDeviceIsRefused();

private:
    QString writeImage(const QString &name, int dspBytes, int armBytes, qint32 version,
                       const QByteArray &tail = QByteArray());
    // `env` holds the row's EMULATOR_* settings and its RIVET_LOCK_DIR.
    void start(QProcess &process, const QStringList &args, const QStringList &env);
    // Waits for a progress line of `tool` showing `percent`, or for its end.
    static QByteArray waitForProgress(QProcess &tool, const char *percent);
    // Ctrl+C to a tool that still runs; false when it has already ended.
    static bool interrupt(QProcess &tool);

    struct Row
    {
        const char *name;
        QString file;
        QStringList args;
        int exitCode;
        QString message; // in the closing line
        std::unique_ptr<QProcess> tool = std::make_unique<QProcess>();
        std::unique_ptr<QTemporaryDir> images = std::make_unique<QTemporaryDir>();
    };
    void addRow(const char *name, const QString &file, const QStringList &args,
                const QStringList &env, int exitCode, const QString &message);

    QTemporaryDir dir;
    QString good, older, malformed;
    std::vector<Row> rows;
};

void TestFwtoolFlash::initTestCase()
{
    QVERIFY(dir.isValid());
    // 100 packets: every tenth of the progress gets its line.
    good = writeImage("good.fw", 400, 400, 1251);
    older = writeImage("older.fw", 400, 400, 1249);
    malformed = writeImage("malformed.fw", 8, 8, 1251, "x");

    const QString g = good;
    const QStringList none;
    addRow("complete", g, none, none, 0, "Update Complete!");
    addRow("refused file", malformed, none, none, 3, "File Format Is Error");
    addRow("no device", g, none, {"EMULATOR_PLUG_AFTER_MS=60000"}, 4, "no device found");
    addRow("no version reply within 3 s", g, none, {"EMULATOR_LATENCY_MS=4000"}, 4,
           "no version reply within 3 s");
    addRow("--wait, plugged in later", g, {"--wait", "20"}, {"EMULATOR_PLUG_AFTER_MS=500"}, 0,
           "Update Complete!");
    addRow("older file", older, none, none, 5,
           "The firmware file version is lower than the current device");
    addRow("older file, --allow-older, --json", older, {"--allow-older", "--json"}, none, 0,
           "complete");
    addRow("error 1: no update mode", g, none, {"EMULATOR_NO_U=1"}, 11,
           "Error 1: the device did not enter update mode within 10 s");
    addRow("error 2: no DSP acknowledgement, --json", g, {"--json"}, {"EMULATOR_DSP_ACKS=0"}, 12,
           "update-error");
    // Two "V" in all: the handshake's and the first window's, none after DSP end.
    addRow("error 4: no reply to DSP end", writeImage("two-windows.fw", 200, 8, 1251), none,
           {"EMULATOR_DSP_ACKS=1"}, 14, "Error 4");
    addRow("error 5: no ARM acknowledgement", g, none, {"EMULATOR_ARM_ACKS=0"}, 15, "Error 5");
    addRow("feature report too short for a packet", g, none, {"EMULATOR_FEATURE_LENGTH=8"}, 4,
           "The device cannot receive firmware packets");
    addRow("usage error", g, {"--wait", "soon"}, none, 2, "--wait: 'soon' is not a number");
}

QString TestFwtoolFlash::writeImage(const QString &name, int dspBytes, int armBytes, qint32 version,
                                    const QByteArray &tail)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(firmware::pack(noise(dspBytes, 1), noise(armBytes, 2), version, '\xFF') + tail);
    return file.fileName();
}

void TestFwtoolFlash::start(QProcess &process, const QStringList &args, const QStringList &env)
{
    process.setProcessEnvironment(emulatorEnvironment(env));
    process.start(FWTOOL, QStringList{"flash"} + args);
}

void TestFwtoolFlash::addRow(const char *name, const QString &file, const QStringList &args,
                             const QStringList &env, int exitCode, const QString &message)
{
    rows.push_back(Row{name, file, args, exitCode, message});
    const Row &row = rows.back();
    start(*row.tool, QStringList{file} + args,
          env + QStringList{"EMULATOR_IMAGE_DIR=" + row.images->path(),
                            "RIVET_LOCK_DIR=" + row.images->path()});
}

void TestFwtoolFlash::outcomes_data()
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < rows.size(); ++i)
        QTest::newRow(rows[i].name) << int(i);
}

void TestFwtoolFlash::outcomes()
{
    QFETCH(int, row);
    const auto &[name, file, args, exitCode, message, process, images] = rows.at(std::size_t(row));
    QProcess &tool = *process;
    QVERIFY(tool.state() == QProcess::NotRunning || tool.waitForFinished(60000));
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QVERIFY2(tool.exitCode() == exitCode, qPrintable(out + err));

    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    if (args.contains("--json")) {
        QCOMPARE(lines.size(), 1);
        const QJsonObject summary = QJsonDocument::fromJson(lines.first().toUtf8()).object();
        QCOMPARE(summary.value("outcome").toString(), message);
        QCOMPARE(summary.value("exitCode").toInt(), exitCode);
        QCOMPARE(summary.value("deviceVersion").toInt(), 1250);
        QCOMPARE(summary.value("fileVersion").toInt(), file == older ? 1249 : 1251);
        QCOMPARE(summary.value("bytes").toInt(), exitCode == 0 ? 800 : 0);
    } else {
        QVERIFY2((exitCode == 0 ? out : err).contains(message), qPrintable(out + err));
    }

    QFile dsp(images->filePath("dsp.bin")), arm(images->filePath("arm.bin"));
    QCOMPARE(arm.exists(), exitCode == 0);
    if (exitCode != 0)
        return;
    QFile source(file);
    QVERIFY(source.open(QIODevice::ReadOnly) && dsp.open(QIODevice::ReadOnly) &&
            arm.open(QIODevice::ReadOnly));
    QCOMPARE(dsp.readAll() + arm.readAll(), source.readAll().mid(16));
    if (args.contains("--json"))
        return;
    QCOMPARE(lines.size(), 11);
    for (int tenth = 1; tenth <= 10; ++tenth)
        QVERIFY2(lines.at(tenth - 1).contains(QString("%1 %  ").arg(tenth * 10, 3)),
                 qPrintable(lines.at(tenth - 1)));
}

QByteArray TestFwtoolFlash::waitForProgress(QProcess &tool, const char *percent)
{
    QByteArray out;
    (void)QTest::qWaitFor(
        [&] {
            out += tool.readAllStandardOutput();
            return out.contains(percent) || tool.state() == QProcess::NotRunning;
        },
        30000);
    return out;
}

bool TestFwtoolFlash::interrupt(QProcess &tool)
{
    // processId() is 0 once the tool has ended, and a signal to 0 would reach this
    // test's whole process group.
    const qint64 pid = tool.processId();
    if (tool.state() != QProcess::Running || pid <= 0)
        return false;
    return ::kill(pid_t(pid), SIGINT) == 0;
}

void TestFwtoolFlash::secondToolOnTheSameDeviceIsRefused()
{
    // Two processes, each with its emulated device at the same path: one device.
    QTemporaryDir locks, images;
    const QString file = writeImage("shared.fw", 4000, 4000, 1251);
    QProcess first, second;
    start(first, {file}, {"EMULATOR_IMAGE_DIR=" + images.path(), "RIVET_LOCK_DIR=" + locks.path()});
    const QByteArray out = waitForProgress(first, " 10 %");
    QVERIFY2(out.contains(" 10 %"), out.constData());
    start(second, {file}, {"RIVET_LOCK_DIR=" + locks.path()});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 4);
    QVERIFY(second.readAllStandardError().contains("being updated by another program"));

    QVERIFY(first.waitForFinished(60000));
    QCOMPARE(first.exitCode(), 0);
    QFile source(file), dsp(images.filePath("dsp.bin")), arm(images.filePath("arm.bin"));
    QVERIFY(source.open(QIODevice::ReadOnly) && dsp.open(QIODevice::ReadOnly) &&
            arm.open(QIODevice::ReadOnly));
    QCOMPARE(dsp.readAll() + arm.readAll(), source.readAll().mid(16));
}

void TestFwtoolFlash::ctrlCStopsTheTransfer()
{
    QTemporaryDir images;
    QProcess tool;
    // 2000 packets: four seconds of transfer at the protocol's pace.
    start(tool, {writeImage("long.fw", 8000, 8000, 1251)},
          {"EMULATOR_IMAGE_DIR=" + images.path(), "RIVET_LOCK_DIR=" + images.path()});
    const QByteArray out = waitForProgress(tool, " 10 %");
    QVERIFY2(interrupt(tool), "the tool ended before it could be interrupted");
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 130);
    const QString err = tool.readAllStandardError();
    QVERIFY2(err.contains(QRegularExpression("interrupted after \\d+ of 16000 bytes: the device "
                                             "is left in its bootloader")),
             qPrintable(err));
    QVERIFY(!(out + tool.readAllStandardOutput()).contains("100 %"));
    QVERIFY(!QFile::exists(images.filePath("arm.bin")));
}

QTEST_GUILESS_MAIN(TestFwtoolFlash)
#include "tst_fwtoolflash.moc"
