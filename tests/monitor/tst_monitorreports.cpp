#include "monitorreports.h"

#include <QtTest>

using namespace monitorreports;

namespace {

// A 20-byte report with the given bytes from index `at` on.
QByteArray report(int id, int at, const QByteArray &bytes)
{
    QByteArray r(InputReportLength, '\0');
    r[0] = char(id);
    r.replace(at, bytes.size(), bytes);
    return r;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestMonitorReports : public QObject
{
    Q_OBJECT

private slots:
    void kinds_data();
    void kinds();
    void status_data();
    void status();
    void values_data();
    void values();
    void versionQuery();
    void setValues_data();
    void setValues();
};

void TestMonitorReports::kinds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Kind>("kind");

    QTest::newRow("status") << report(0x01, 1, {}) << Kind::Status;
    QTest::newRow("value report") << report(0x80, 1, QByteArray("\x0A", 1)) << Kind::Values;
    QTest::newRow("other class of 0x80") << report(0x80, 1, QByteArray("\x07", 1)) << Kind::Other;
    QTest::newRow("bootloader reply") << report(0x80, 1, QByteArray("\x0C\x55", 2)) << Kind::Other;
    QTest::newRow("failed read, all zeros") << QByteArray(InputReportLength, '\0') << Kind::Other;
    QTest::newRow("empty") << QByteArray() << Kind::Other;
    QTest::newRow("0x80 alone") << QByteArray("\x80", 1) << Kind::Other;
}

void TestMonitorReports::kinds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Kind, kind);
    QCOMPARE(kindOf(bytes), kind);
}

void TestMonitorReports::status_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("lamp1");
    QTest::addColumn<bool>("lamp2");

    QTest::newRow("0x1234, both lamps")
        << report(0x01, 5, QByteArray("\x34\x12\x00\x00\x30", 5)) << 0x1234 << true << true;
    QTest::newRow("lamp 1 only") << report(0x01, 9, QByteArray("\x10", 1)) << 0 << true << false;
    QTest::newRow("lamp 2 only") << report(0x01, 9, QByteArray("\x20", 1)) << 0 << false << true;
    QTest::newRow("no lamps, other bits set")
        << report(0x01, 9, QByteArray("\xCF", 1)) << 0 << false << false;
    QTest::newRow("unused bytes ignored")
        << report(0x01, 1, QByteArray("\xFF\xFF\xFF\xFF\x00\x10\xFF\xFF", 8)) << 0x1000 << false
        << false;
    QTest::newRow("largest value")
        << report(0x01, 5, QByteArray("\xFF\xFF", 2)) << 65535 << false << false;
    QTest::newRow("short report counts missing bytes as 0")
        << QByteArray("\x01\x00\x00\x00\x00\x05", 6) << 5 << false << false;
}

void TestMonitorReports::status()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, value);
    QFETCH(bool, lamp1);
    QFETCH(bool, lamp2);

    const Status status = decodeStatus(bytes);
    QCOMPARE(status.value, value);
    QCOMPARE(status.lamps.size(), 2);
    QCOMPARE(status.lamps.testBit(0), lamp1);
    QCOMPARE(status.lamps.testBit(1), lamp2);
}

void TestMonitorReports::values_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("values");

    QTest::newRow("bytes 6 and 7 have no effect")
        << report(0x80, 1, QByteArray("\x0A\xFF\xFF\xFF\x00\xAA\xBB\x00\x00", 9))
        << QList<int>{4095, 4095, 0, 0};
    QTest::newRow("value 3 from byte 5")
        << report(0x80, 1, QByteArray("\x0A\x01\x20\x00\x02\x00\x00\x30\x04", 9))
        << QList<int>{1, 2, 2, 67};
    QTest::newRow("the start values")
        << report(0x80, 1, QByteArray("\x0A\x00\x00\x40\x00\xE2\x04\xFC\xFF", 9))
        << QList<int>{0, 1024, 3072, 4095};
    QTest::newRow("report cut after byte 4")
        << QByteArray("\x80\x0A\x34\x12\x00", 5) << QList<int>{0x234, 1, 0, 0};
}

void TestMonitorReports::values()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, values);

    const std::array<int, 4> decoded = decodeValues(bytes);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(decoded[i], values[i]);
}

void TestMonitorReports::versionQuery()
{
    QCOMPARE(monitorreports::versionQuery(), QByteArray("\x80\x03\x01\0\0\0\0\0\0\0\0", 11));
}

void TestMonitorReports::setValues_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("start values") << QList<double>{0, 1024, 3072, 4095}
                                  << QByteArray("\x80\x03\x02\x00\x00\x00\x04\x00\x0C\xFF\x0F", 11);
    QTest::newRow("4095.9 is sent as 4095")
        << QList<double>{0.5, 1.99, 2, 4095.9}
        << QByteArray("\x80\x03\x02\x00\x00\x01\x00\x02\x00\xFF\x0F", 11);
    QTest::newRow("top of the ruler, 4096")
        << QList<double>{0, 0, 0, 4096}
        << QByteArray("\x80\x03\x02\x00\x00\x00\x00\x00\x00\x00\x10", 11);
    QTest::newRow("low 16 bits of a value past them")
        << QList<double>{65537, 1e12, 0, 0}
        << QByteArray("\x80\x03\x02\x01\x00\x00\x10\x00\x00\x00\x00", 11);
}

void TestMonitorReports::setValues()
{
    QFETCH(QList<double>, values);
    QFETCH(QByteArray, bytes);
    QCOMPARE(setValuesReport({values[0], values[1], values[2], values[3]}), bytes);
}

QTEST_APPLESS_MAIN(TestMonitorReports)
#include "tst_monitorreports.moc"
