// fwtool as scripts and users meet it: the real executable, a command line per row,
// its exit code and a piece of what it prints (stdout and stderr together; a piece
// starting with "^" must open the output).

#include "testsupport.h"
#include <flash/firmwareimage.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

class TestFwtool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();

private:
    QTemporaryDir dir;
    QByteArray good;
};

namespace {

void write(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), qint64(data.size()));
}

} // namespace

void TestFwtool::initTestCase()
{
    QVERIFY(dir.isValid());
    const QByteArray dsp(20, 'd'), arm(12, 'a');
    write(dir.filePath("dsp.bin"), dsp);
    write(dir.filePath("arm.bin"), arm);
    good = firmware::pack(dsp, arm, 1250, char(0xFF));
    write(dir.filePath("good.fw"), good);
    write(dir.filePath("lower.fw"), firmware::pack(dsp, arm, 1100, char(0xFF)));
    // Random bytes whose header happens to declare 526271749 + 3000 bytes.
    QByteArray random = firmware::pack(QByteArray(8, 'x'), QByteArray(3000, 'y'), 1250, 0);
    random.resize(2048);
    qToBigEndian<quint32>(526271749, random.data());
    write(dir.filePath("random.bin"), random);
    // Signed by minisign when the test was built (makesigned.py); the tampered copy
    // keeps the signature of the original.
    const QString made = QStringLiteral(SIGNED_IMAGES "/");
    QByteArray image = readFile(made + "1260.bin");
    write(dir.filePath("signed.fw"), image);
    QVERIFY(QFile::copy(made + "1260.bin.minisig", dir.filePath("signed.fw.minisig")));
    image[30] = char(image[30] ^ 0x01);
    write(dir.filePath("tampered.fw"), image);
    QVERIFY(QFile::copy(made + "1260.bin.minisig", dir.filePath("tampered.fw.minisig")));
    QVERIFY(QFile::copy(made + "vendor.pub", dir.filePath("vendor.pub")));
}

void TestFwtool::commandLine_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");

    // One table of exit codes, the same in every help text.
    const QString table = "3 a file that is not a firmware image, that the device would refuse";
    QTest::newRow("--help") << "--help" << 0 << table;
    QTest::newRow("flash's help") << "help flash" << 0 << table;
    QTest::newRow("help") << "help" << 0 << "Usage:";
    QTest::newRow("a command's help") << "help info" << 0 << "--json";
    QTest::newRow("the tool's version") << "--version" << 0 << "^fwtool 1.0";
    QTest::newRow("unknown option")
        << "--bogus" << 2 << "^fwtool: unknown option '--bogus'\nTry 'fwtool --help'";
    QTest::newRow("unknown command")
        << "frobnicate" << 2 << "^fwtool: unknown command 'frobnicate'";
    QTest::newRow("not a number") << "info {dir}/good.fw --device-version abc" << 2
                                  << "^fwtool: --device-version: 'abc' is not a number";
    QTest::newRow("negative version, before any file")
        << "pack --version -1 --dsp {dir}/missing.bin --arm {dir}/arm.bin --out {dir}/x.fw" << 2
        << "^fwtool: --version: -1 is negative";
    QTest::newRow("missing file") << "info {dir}/missing.fw" << 1
                                  << "^fwtool: cannot open {dir}/missing.fw: {noSuchFile}";
    QTest::newRow("a directory") << "info {dir}" << 1
                                 << "^fwtool: cannot open {dir}: Is a directory";
    QTest::newRow("pack") << "pack --version 1250 --dsp {dir}/dsp.bin --arm {dir}/arm.bin --out "
                             "{dir}/packed.fw"
                          << 0 << "DSP 24 bytes, ARM 16 bytes, version 1250";
    QTest::newRow("good image") << "info {dir}/good.fw --device-version 1250" << 0
                                << "^accepted\nfile:        {dir}/good.fw (56 bytes)";
    QTest::newRow("lower version")
        << "info {dir}/lower.fw --device-version 1250" << 0
        << "^accepted with a warning: The firmware file version is lower";
    // 0522 is a hexadecimal USB id: its devices know no version 1250.
    QTest::newRow("product id") << "info {dir}/good.fw --device-version 1250 --product-id 0522" << 3
                                << "^refused: The software type does not match";
    QTest::newRow("random bytes")
        << "info {dir}/random.bin" << 3
        << "^not a firmware image: declared sizes 526271749 + 3000 do not match the file size "
           "2048\nfile:        {dir}/random.bin (2048 bytes)\nDSP length:  526271749\n";
    QTest::newRow("json") << "info {dir}/random.bin --json" << 3
                          << "^{\"armLength\":3000,\"dspLength\":526271749,\"reason\":\"declared "
                             "sizes 526271749 + 3000 do not match the file size 2048\","
                             "\"signature\":\"no-key\",\"size\":"
                             "2048,\"verdict\":\"not a firmware image\",\"version\":1250}\n";
    // With --json every outcome is an object on standard output, errors too.
    QTest::newRow("json, missing file")
        << "info {dir}/missing.fw --json" << 1
        << "{\"exitCode\":1,\"message\":\"cannot open {dir}/missing.fw: {noSuchFile}\","
           "\"outcome\":\"error\"}\n";
    QTest::newRow("json, wrong flash command line")
        << "flash {dir}/good.fw --wait soon --json" << 2
        << "{\"exitCode\":2,\"message\":\"--wait: 'soon' is not a number\",\"outcome\":\"error\"}";
    QTest::newRow("json, pack") << "pack --version 7 --dsp {dir}/dsp.bin --arm {dir}/arm.bin "
                                   "--out {dir}/p.fw --json"
                                << 0
                                << "^{\"armLength\":16,\"dspLength\":24,\"exitCode\":0,"
                                   "\"out\":\"{dir}/p.fw\",\"outcome\":\"packed\",\"version\":7}";
    QTest::newRow("info: no key") << "info {dir}/good.fw" << 0 << "\nsignature:   no-key\n";

    // Signatures; this build has no key of its own, the vendor's is given with --key.
    const QString key = " --key {dir}/vendor.pub";
    const QString refused = "The firmware's signature is missing or does not match";
    QTest::newRow("verify: valid") << "verify {dir}/signed.fw" + key << 0
                                   << "^{dir}/signed.fw: signature valid: release 1260\n";
    QTest::newRow("verify: missing")
        << "verify {dir}/good.fw" + key << 3 << "^fwtool: {dir}/good.fw: signature missing";
    QTest::newRow("verify: tampered")
        << "verify {dir}/tampered.fw" + key << 3 << "^fwtool: {dir}/tampered.fw: signature invalid";
    QTest::newRow("verify: no key")
        << "verify {dir}/signed.fw" << 2 << "^fwtool: this build has no signing key";
    QTest::newRow("verify: a key file that holds none")
        << "verify {dir}/signed.fw --key {dir}/good.fw" << 2 << "holds no minisign public key";
    QTest::newRow("info: signed") << "info {dir}/signed.fw --device-version 1250" + key << 0
                                  << "\nsignature:   valid: release 1260\n";
    QTest::newRow("info: tampered, refused")
        << "info {dir}/tampered.fw --device-version 1250 --json" + key << 3
        << "\"reason\":\"" + refused + "\",\"signature\":\"invalid\"";
    QTest::newRow("info: missing")
        << "info {dir}/good.fw --json" + key << 0 << "\"signature\":\"missing\"";
    // Refused before any device is looked for.
    QTest::newRow("flash: tampered")
        << "flash {dir}/tampered.fw" + key << 3 << "signature invalid: " + refused;
    QTest::newRow("flash: unsigned, signature required")
        << "flash {dir}/good.fw --require-signature" + key << 3 << "signature missing";
    QTest::newRow("flash: signature required, no key")
        << "flash {dir}/signed.fw --require-signature" << 3 << "this build has no signing key";
}

void TestFwtool::commandLine()
{
    QFETCH(QString, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    arguments.replace("{dir}", dir.path());
    output.replace("{dir}", dir.path());
#ifdef Q_OS_WIN
    output.replace("{noSuchFile}", "File not found.");
#else
    output.replace("{noSuchFile}", "No such file or directory");
#endif

    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(FWTOOL), arguments.split(' '));
    QVERIFY(tool.waitForFinished());
    const QString printed = QString::fromUtf8(tool.readAll()).replace("\r\n", "\n");
    QVERIFY2(output.startsWith('^') ? printed.startsWith(output.mid(1)) : printed.contains(output),
             qPrintable(printed));
    QCOMPARE(tool.exitCode(), exitCode);
    if (QTest::currentDataTag() == QLatin1String("pack")) {
        QFile packed(dir.filePath("packed.fw"));
        QVERIFY(packed.open(QIODevice::ReadOnly));
        QCOMPARE(packed.readAll(), good);
    }
}

QTEST_MAIN(TestFwtool)
#include "tst_fwtool.moc"
