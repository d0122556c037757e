#include "ftpreply.h"

#include <QtTest>

class TestFtpReply : public QObject
{
    Q_OBJECT

private slots:
    void replyEnd_data();
    void replyEnd();
    void replyCode_data();
    void replyCode();
    void passivePort_data();
    void passivePort();
    void sizeValue_data();
    void sizeValue();
    void listingNames();
};

void TestFtpReply::replyEnd_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("end"); // -1: incomplete

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
    QTest::newRow("hyphen after a short code is not multi-line") << QByteArray("22-x\r\n") << 6;
}

void TestFtpReply::replyEnd()
{
    QFETCH(QByteArray, text);
    QFETCH(int, end);
    const std::size_t got = ftpreply::ReplyEnd(text.toStdString());
    QCOMPARE(got == ftpreply::Incomplete ? -1 : static_cast<int>(got), end);
}

void TestFtpReply::replyCode_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("code");

    QTest::newRow("space") << QByteArray("230 Logged in.\r\n") << 230;
    QTest::newRow("hyphen") << QByteArray("220-Welcome\r\n220 ready\r\n") << 220;
    QTest::newRow("code only") << QByteArray("213") << 213;
    QTest::newRow("no digits") << QByteArray("hello\r\n") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void TestFtpReply::replyCode()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, code);
    QCOMPARE(ftpreply::ReplyCode(reply.toStdString()), code);
}

void TestFtpReply::passivePort_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("port");

    QTest::newRow("other host, port 5001")
        << QByteArray("227 Entering Passive Mode (10,0,0,1,19,137)\r\n") << 5001;
    QTest::newRow("pyftpdlib form")
        << QByteArray("227 Entering passive mode (127,0,0,1,117,48).\r\n") << 30000;
    QTest::newRow("no parentheses") << QByteArray("227 =127,0,0,1,4,1\r\n") << 1025;
    QTest::newRow("comma before the parenthesis")
        << QByteArray("227 Passive, as asked (127,0,0,1,0,21)\r\n") << 21;
    QTest::newRow("five numbers") << QByteArray("227 (127,0,0,1,19)\r\n") << -1;
    QTest::newRow("number above 255") << QByteArray("227 (127,0,0,1,256,1)\r\n") << -1;
    QTest::newRow("four digits") << QByteArray("227 (127,0,0,1,0019,1)\r\n") << -1;
    QTest::newRow("no numbers") << QByteArray("227 Entering Passive Mode (garbage)\r\n") << -1;
    QTest::newRow("nothing after the code") << QByteArray("227") << -1;
}

void TestFtpReply::passivePort()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, port);
    QCOMPARE(ftpreply::PassivePort(reply.toStdString()), port);
}

void TestFtpReply::sizeValue_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qlonglong>("size");

    QTest::newRow("1024") << QByteArray("213 1024\r\n") << 1024LL;
    QTest::newRow("zero") << QByteArray("213 0\r\n") << 0LL;
    QTest::newRow("no line end") << QByteArray("213 77") << 77LL;
    QTest::newRow("beyond 32 bits") << QByteArray("213 5000000000\r\n") << 5000000000LL;
    QTest::newRow("letters") << QByteArray("213 12a4\r\n") << -1LL;
    QTest::newRow("no number") << QByteArray("213 \r\n") << -1LL;
    QTest::newRow("no space") << QByteArray("213") << -1LL;
    QTest::newRow("overflow") << QByteArray("213 99999999999999999999\r\n") << -1LL;
}

void TestFtpReply::sizeValue()
{
    QFETCH(QByteArray, reply);
    QFETCH(qlonglong, size);
    QCOMPARE(ftpreply::SizeValue(reply.toStdString()), size);
}

void TestFtpReply::listingNames()
{
    const std::string listing =
        "drwxrwxrwx   2 owner    group        4096 Jan 01 12:00 VKP3000\r\n"
        "-rw-r--r--   1 owner    group        1024 Jan 01  2024 3106.bin\r\n"
        "-rw-r--r-- 1 owner group 9 Jan 01 12:00 two  spaces.txt\r\n"
        "total 12\r\n"
        "-rw-r--r-- 1 owner group 9 Jan 01 12:00 last-without-line-end";
    const std::vector<std::string> expected = {"VKP3000", "3106.bin", "two spaces.txt",
                                               "last-without-line-end"};
    QCOMPARE(ftpreply::ListingNames(listing), expected);
    QCOMPARE(ftpreply::SqueezeSpaces("a   b  c d"), std::string("a b c d"));
}

QTEST_APPLESS_MAIN(TestFtpReply)
#include "tst_ftpreply.moc"
