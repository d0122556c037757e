// The online check's pure rules: FTP reply framing and numbers, the model table, the version
// line, cache paths and partial files.
#include "cachepath.h"
#include "ftpreply.h"
#include "modeltable.h"
#include "partialfile.h"
#include "versionline.h"

#include <QTemporaryDir>
#include <QtTest>

class TestOnlineRules : public QObject
{
    Q_OBJECT

private slots:
    void replyEnd_data();
    void replyEnd();
    void replyNumber_data();
    void replyNumber();
    void modelBands_data();
    void modelBands();
    void serverHasNewer_data();
    void serverHasNewer();
    void plainVersion_data();
    void plainVersion();
    void cachePath_data();
    void cachePath();
    void partialCommit();
};

void TestOnlineRules::replyEnd_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("end"); // -1: incomplete, wait for more

    QTest::newRow("one line") << QByteArray("220 ready\r\n") << 11;
    QTest::newRow("no line end yet") << QByteArray("220 rea") << -1;
    QTest::newRow("half a line end") << QByteArray("220 ready\r") << -1;
    QTest::newRow("two-line greeting") << QByteArray("220-Welcome\r\n220 ready\r\n") << 24;
    QTest::newRow("multi-line, last line missing") << QByteArray("220-Welcome\r\n") << -1;
    QTest::newRow("multi-line, last line split") << QByteArray("220-Welcome\r\n220 rea") << -1;
    QTest::newRow("other code inside multi-line")
        << QByteArray("220-a\r\n221 b\r\n 220 c\r\n220 d\r\n") << 29;
    QTest::newRow("1xx and 226 in one read")
        << QByteArray("150 Opening\r\n226 Transfer complete.\r\n") << 13;
    QTest::newRow("bare line feeds") << QByteArray("211-a\n211 b\nrest") << 12;
    QTest::newRow("last line is the code alone") << QByteArray("220-a\r\n220\r\n") << 12;
    QTest::newRow("hyphen after a short code") << QByteArray("22-x\r\n") << 6;
}

void TestOnlineRules::replyEnd()
{
    QFETCH(QByteArray, text);
    QFETCH(int, end);
    const std::size_t got = ftpreply::ReplyEnd(text.toStdString());
    QCOMPARE(got == ftpreply::Incomplete ? -1 : static_cast<int>(got), end);
}

// PASV answers give a port, SIZE answers a byte count; -1 refuses the answer.
void TestOnlineRules::replyNumber_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qlonglong>("number");

    QTest::newRow("other host, port 5001")
        << QByteArray("227 Entering (10,0,0,1,19,137)\r\n") << 5001LL;
    QTest::newRow("pyftpdlib form")
        << QByteArray("227 Entering passive mode (127,0,0,1,117,48).\r\n") << 30000LL;
    QTest::newRow("no parentheses") << QByteArray("227 =127,0,0,1,4,1\r\n") << 1025LL;
    QTest::newRow("comma before (")
        << QByteArray("227 Passive, as asked (127,0,0,1,0,21)\r\n") << 21LL;
    QTest::newRow("five numbers") << QByteArray("227 (127,0,0,1,19)\r\n") << -1LL;
    QTest::newRow("number above 255") << QByteArray("227 (127,0,0,1,256,1)\r\n") << -1LL;
    QTest::newRow("four digits") << QByteArray("227 (127,0,0,1,0019,1)\r\n") << -1LL;
    QTest::newRow("no numbers") << QByteArray("227 Entering Passive Mode (garbage)\r\n") << -1LL;
    QTest::newRow("nothing after 227") << QByteArray("227") << -1LL;
    QTest::newRow("size zero") << QByteArray("213 0\r\n") << 0LL;
    QTest::newRow("size, no line end") << QByteArray("213 77") << 77LL;
    QTest::newRow("size beyond 32 bits") << QByteArray("213 5000000000\r\n") << 5000000000LL;
    QTest::newRow("size with letters") << QByteArray("213 12a4\r\n") << -1LL;
    QTest::newRow("size missing") << QByteArray("213 \r\n") << -1LL;
    QTest::newRow("nothing after 213") << QByteArray("213") << -1LL;
    QTest::newRow("size overflows") << QByteArray("213 99999999999999999999\r\n") << -1LL;
}

void TestOnlineRules::replyNumber()
{
    QFETCH(QByteArray, reply);
    QFETCH(qlonglong, number);
    const std::string text = reply.toStdString();
    QCOMPARE(reply.startsWith("227") ? ftpreply::PassivePort(text) : ftpreply::SizeValue(text),
             number);
}

void TestOnlineRules::modelBands_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("model"); // empty: version error

    const std::pair<int, const char *> bands[] = {
        {-1, ""},          {999, ""},         {1000, "VKP1000"}, {1999, "VKP1000"},
        {2000, "VKP2000"}, {2999, "VKP2000"}, {3000, "VKP3000"}, {3199, "VKP3000"},
        {3200, "VKP3200"}, {3400, "VKP3400"}, {3600, "VKP3600"}, {3800, "VKP3800"},
        {3999, "VKP3800"}, {4000, "VKP4000"}, {5000, "VKP5000"}, {5999, "VKP5000"},
        {6000, "VKP6000"}, {6999, "VKP6000"}, {7000, ""},        {65535, ""}};
    for (const auto &[version, model] : bands)
        QTest::newRow(QByteArray::number(version).constData()) << version << QString(model);
}

void TestOnlineRules::modelBands()
{
    QFETCH(int, version);
    QFETCH(QString, model);
    const std::optional<ModelEntry> entry = ModelForVersion(version);
    QCOMPARE(entry.has_value(), !model.isEmpty());
    if (entry) {
        QCOMPARE(entry->modelFolder, model);
        QCOMPARE(entry->versionFile, model + "/" + model + ".txt");
    }
}

// The server's first line against the device's 3106, compared as text.
void TestOnlineRules::serverHasNewer_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("newer");

    QTest::newRow("3107") << "3107" << true;
    QTest::newRow("same") << "3106" << false;
    QTest::newRow("3105") << "3105" << false;
    QTest::newRow("trailing blank sorts after") << "3106 " << true;
    QTest::newRow("400 by text") << "400" << true;
    QTest::newRow("10000 by text") << "10000" << false;
    QTest::newRow("empty line") << "" << false;
}

void TestOnlineRules::serverHasNewer()
{
    QFETCH(QString, server);
    QFETCH(bool, newer);
    QCOMPARE(ServerHasNewer("3106", server), newer);
}

// The version line becomes part of a local path: only plain ASCII digits pass.
void TestOnlineRules::plainVersion_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("plain");

    QTest::newRow("3106") << "3106" << true;
    QTest::newRow("ten digits") << "1234567890" << true;
    QTest::newRow("eleven digits") << "12345678901" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("trailing blank") << "3106 " << false;
    QTest::newRow("leading blank") << " 3106" << false;
    QTest::newRow("letter") << "31a6" << false;
    QTest::newRow("climbs out") << "../../x" << false;
    QTest::newRow("number then climbs out") << "3106/../../y" << false;
    QTest::newRow("backslash") << "3106\\..\\y" << false;
    QTest::newRow("full-width digits") << QString::fromUtf8("３１０６") << false;
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("٣١٠٦") << false;
}

void TestOnlineRules::plainVersion()
{
    QFETCH(QString, line);
    QFETCH(bool, plain);
    QCOMPARE(IsPlainVersion(line), plain);
}

void TestOnlineRules::cachePath_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("path"); // empty: refused

    const char *const rows[][4] = {
        {"image", "/app/file/", "VKP3000/3106.bin", "/app/file/VKP3000/3106.bin"},
        {"from the root", "/app/file/", "/VKP2000/VKP2000.txt", "/app/file/VKP2000/VKP2000.txt"},
        {"base without slash", "/app/file", "a.txt", "/app/file/a.txt"},
        {"doubled slashes", "/app//file/", "VKP3000//x", "/app/file/VKP3000/x"},
        {"harmless dot-dot", "/app/file/", "VKP3000/../VKP2000/a", "/app/file/VKP2000/a"},
        {"climbs out", "/app/file/", "../../x", ""},
        {"climbs out later", "/app/file/", "VKP3000/3106/../../../y", ""},
        {"sibling with same prefix", "/app/fil", "../file/x", ""},
        {"the cache itself", "/app/file/", ".", ""},
        {"nothing", "/app/file/", "", ""},
        {"no base", "", "a.txt", ""}};
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QString(row[3]);
}

void TestOnlineRules::cachePath()
{
    QFETCH(QString, base);
    QFETCH(QString, relative);
    QFETCH(QString, path);
    QCOMPARE(CachePath(base, relative), path);
}

void TestOnlineRules::partialCommit()
{
    QTemporaryDir dir;
    const QString image = dir.filePath("3106.bin");
    const auto write = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    const auto read = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    };

    QVERIFY(write(image, "old"));
    // Nothing downloaded: the old image stays.
    QVERIFY(!CommitPartial(image));
    QCOMPARE(read(image), QByteArray("old"));

    QVERIFY(write(PartialPath(image), "new"));
    QVERIFY(CommitPartial(image));
    QCOMPARE(read(image), QByteArray("new"));
    QVERIFY(!QFile::exists(PartialPath(image)));

    QVERIFY(write(PartialPath(image), "broken"));
    DiscardPartial(image);
    QVERIFY(!QFile::exists(PartialPath(image)));
    QCOMPARE(read(image), QByteArray("new"));
}

QTEST_APPLESS_MAIN(TestOnlineRules)
#include "tst_onlinerules.moc"
