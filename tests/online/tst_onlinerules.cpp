// The online check's pure rules: FTP reply framing and numbers, the model table, the version
// line and cache paths. Each case names its input when it fails.
#include "cachepath.h"
#include "ftpreply.h"
#include "modeltable.h"
#include "versionline.h"

#include <QtTest>

class TestOnlineRules : public QObject
{
    Q_OBJECT

private slots:
    void replyFraming();
    void replyNumbers();
    void modelBands();
    void versionLines();
    void cachePaths();
};

void TestOnlineRules::replyFraming()
{
    // Where the first complete reply ends; 0: incomplete, wait for more bytes.
    const std::pair<const char *, std::size_t> cases[] = {
        {"220 ready\r\n", 11},
        {"220 ready\r", 0},
        {"220-Welcome\r\n220 ready\r\n", 24},
        {"220-Welcome\r\n", 0},
        {"220-Welcome\r\n220 rea", 0},
        {"220-a\r\n221 b\r\n 220 c\r\n220 d\r\n", 29},
        {"150 Opening\r\n226 Transfer complete.\r\n", 13},
        {"211-a\n211 b\nrest", 12},
        {"220-a\r\n220\r\n", 12},
        {"22-x\r\n", 6}};
    for (const auto &[text, end] : cases)
        QVERIFY2(ftpreply::ReplyEnd(text) == (end ? end : ftpreply::Incomplete), text);
}

void TestOnlineRules::replyNumbers()
{
    // PASV answers give a port, SIZE answers a byte count; -1 refuses the answer.
    const std::pair<std::string, long long> cases[] = {
        {"227 Entering (10,0,0,1,19,137)\r\n", 5001},
        {"227 Entering passive mode (127,0,0,1,117,48).\r\n", 30000},
        {"227 Passive, as asked (127,0,0,1,0,21)\r\n", 21},
        {"227 (127,0,0,1,19)\r\n", -1},
        {"227 (127,0,0,1,256,1)\r\n", -1},
        {"227 (127,0,0,1,0019,1)\r\n", -1},
        {"227", -1},
        {"213 0\r\n", 0},
        {"213 5000000000\r\n", 5000000000},
        {"213 12a4\r\n", -1},
        {"213 \r\n", -1},
        {"213 99999999999999999999\r\n", -1}};
    for (const auto &[reply, number] : cases) {
        const bool passive = reply.rfind("227", 0) == 0;
        const long long got = passive ? ftpreply::PassivePort(reply) : ftpreply::SizeValue(reply);
        QVERIFY2(got == number, reply.c_str());
    }
}

void TestOnlineRules::modelBands()
{
    const std::pair<int, QString> bands[] = {
        {-1, ""},          {999, ""},         {1000, "VKP1000"}, {1999, "VKP1000"},
        {2000, "VKP2000"}, {2999, "VKP2000"}, {3000, "VKP3000"}, {3199, "VKP3000"},
        {3200, "VKP3200"}, {3400, "VKP3400"}, {3600, "VKP3600"}, {3800, "VKP3800"},
        {3999, "VKP3800"}, {4000, "VKP4000"}, {5000, "VKP5000"}, {5999, "VKP5000"},
        {6000, "VKP6000"}, {6999, "VKP6000"}, {7000, ""},        {65535, ""}};
    for (const auto &[version, model] : bands) {
        const std::optional<ModelEntry> entry = ModelForVersion(version);
        const QString got = entry ? entry->modelFolder : QString();
        QVERIFY2(got == model, qPrintable(QString::number(version) + " gave " + got));
        QVERIFY(!entry || entry->versionFile == model + "/" + model + ".txt");
    }
}

void TestOnlineRules::versionLines()
{
    // The line becomes part of a local path: only 1-10 plain ASCII digits pass.
    QVERIFY(IsPlainVersion("3106") && IsPlainVersion("1234567890"));
    // Full-width and Arabic-Indic digits are digits to Unicode, not to a file name.
    const QStringList refused = {"12345678901", "",        "3106 ",        " 3106",
                                 "31a6",        "../../x", "3106/../../y", "3106\\..\\y",
                                 "３１０６",    "٣١٠٦"};
    for (const QString &line : refused)
        QVERIFY2(!IsPlainVersion(line), qPrintable(line));

    // Newer than the device's 3106 compares text, as designed.
    const std::pair<QString, bool> newer[] = {{"3107", true},  {"3106", false}, {"3105", false},
                                              {"3106 ", true}, {"400", true},   {"10000", false},
                                              {"", false}};
    for (const auto &[line, expected] : newer)
        QVERIFY2(ServerHasNewer("3106", line) == expected, qPrintable(line));
}

void TestOnlineRules::cachePaths()
{
    // Server text joined to the cache folder; empty: refused.
    const QString cases[][3] = {
        {"/app/file/", "VKP3000/3106.bin", "/app/file/VKP3000/3106.bin"},
        {"/app/file/", "/VKP2000/VKP2000.txt", "/app/file/VKP2000/VKP2000.txt"},
        {"/app/file", "a.txt", "/app/file/a.txt"},
        {"/app//file/", "VKP3000//x", "/app/file/VKP3000/x"},
        {"/app/file/", "VKP3000/../VKP2000/a", "/app/file/VKP2000/a"},
        {"/app/file/", "../../x", ""},
        {"/app/file/", "VKP3000/3106/../../../y", ""},
        {"/app/fil", "../file/x", ""},
        {"/app/file/", ".", ""},
        {"/app/file/", "", ""},
        {"", "a.txt", ""}};
    for (const auto &[base, relative, path] : cases)
        QVERIFY2(CachePath(base, relative) == path, qPrintable(base + " + " + relative));
}

QTEST_APPLESS_MAIN(TestOnlineRules)
#include "tst_onlinerules.moc"
