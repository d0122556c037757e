#include "cachepath.h"
#include "modeltable.h"
#include "partialfile.h"
#include "versionline.h"

#include <QTemporaryDir>
#include <QtTest>

class TestOnlineRules : public QObject
{
    Q_OBJECT

private slots:
    void modelBands_data();
    void modelBands();
    void serverHasNewer_data();
    void serverHasNewer();
    void plainVersion_data();
    void plainVersion();
    void cachePath_data();
    void cachePath();
    void readTextLines();
    void partialCommit();
};

void TestOnlineRules::modelBands_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("model"); // empty: version error

    QTest::newRow("0") << 0 << QString();
    QTest::newRow("999") << 999 << QString();
    QTest::newRow("1000") << 1000 << "VKP1000";
    QTest::newRow("1999") << 1999 << "VKP1000";
    QTest::newRow("2000") << 2000 << "VKP2000";
    QTest::newRow("2999") << 2999 << "VKP2000";
    QTest::newRow("3000") << 3000 << "VKP3000";
    QTest::newRow("3199") << 3199 << "VKP3000";
    QTest::newRow("3200") << 3200 << "VKP3200";
    QTest::newRow("3399") << 3399 << "VKP3200";
    QTest::newRow("3400") << 3400 << "VKP3400";
    QTest::newRow("3599") << 3599 << "VKP3400";
    QTest::newRow("3600") << 3600 << "VKP3600";
    QTest::newRow("3799") << 3799 << "VKP3600";
    QTest::newRow("3800") << 3800 << "VKP3800";
    QTest::newRow("3999") << 3999 << "VKP3800";
    QTest::newRow("4000") << 4000 << "VKP4000";
    QTest::newRow("4999") << 4999 << "VKP4000";
    QTest::newRow("5000") << 5000 << "VKP5000";
    QTest::newRow("5999") << 5999 << "VKP5000";
    QTest::newRow("6000") << 6000 << "VKP6000";
    QTest::newRow("6999") << 6999 << "VKP6000";
    QTest::newRow("7000") << 7000 << QString();
    QTest::newRow("65535") << 65535 << QString();
    QTest::newRow("negative") << -1 << QString();
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

void TestOnlineRules::serverHasNewer_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("newer");

    QTest::newRow("3107 is newer") << "3106"
                                   << "3107" << true;
    QTest::newRow("same") << "3106"
                          << "3106" << false;
    QTest::newRow("3105 is older") << "3106"
                                   << "3105" << false;
    QTest::newRow("trailing blank sorts after") << "3106"
                                                << "3106 " << true;
    QTest::newRow("400 by text") << "3106"
                                 << "400" << true;
    QTest::newRow("10000 by text") << "3106"
                                   << "10000" << false;
    QTest::newRow("empty line") << "3106"
                                << "" << false;
}

void TestOnlineRules::serverHasNewer()
{
    QFETCH(QString, device);
    QFETCH(QString, server);
    QFETCH(bool, newer);
    QCOMPARE(ServerHasNewer(device, server), newer);
}

void TestOnlineRules::plainVersion_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("plain");

    QTest::newRow("3106") << "3106" << true;
    QTest::newRow("0") << "0" << true;
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

    QTest::newRow("image") << "/app/file/"
                           << "VKP3000/3106.bin"
                           << "/app/file/VKP3000/3106.bin";
    QTest::newRow("from the root") << "/app/file/"
                                   << "/VKP2000/VKP2000.txt"
                                   << "/app/file/VKP2000/VKP2000.txt";
    QTest::newRow("base without slash") << "/app/file"
                                        << "a.txt"
                                        << "/app/file/a.txt";
    QTest::newRow("doubled slashes") << "/app//file/"
                                     << "VKP3000//x"
                                     << "/app/file/VKP3000/x";
    QTest::newRow("harmless dot-dot") << "/app/file/"
                                      << "VKP3000/../VKP2000/a"
                                      << "/app/file/VKP2000/a";
    QTest::newRow("climbs out") << "/app/file/"
                                << "../../x" << QString();
    QTest::newRow("climbs out later") << "/app/file/"
                                      << "VKP3000/3106/../../../y" << QString();
    QTest::newRow("sibling with same prefix") << "/app/fil"
                                              << "../file/x" << QString();
    QTest::newRow("the cache itself") << "/app/file/"
                                      << "." << QString();
    QTest::newRow("nothing") << "/app/file/"
                             << "" << QString();
    QTest::newRow("no base") << ""
                             << "a.txt" << QString();
}

void TestOnlineRules::cachePath()
{
    QFETCH(QString, base);
    QFETCH(QString, relative);
    QFETCH(QString, path);
    QCOMPARE(CachePath(base, relative), path);
}

void TestOnlineRules::readTextLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("VKP3000.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("3106 \r\nsecond\n\nlast");
    file.close();

    QStringList lines{"kept"};
    QCOMPARE(ReadTextLines(path, lines), 0);
    QCOMPARE(lines, QStringList({"kept", "3106 ", "second", "", "last"}));

    QStringList untouched{"x"};
    QCOMPARE(ReadTextLines(dir.filePath("missing.txt"), untouched), -1);
    QCOMPARE(untouched, QStringList{"x"});
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
