#include <monitor/monitorreports.h>

#include <QtTest>

using namespace monitorreports;

namespace {

// A 20-byte report with the given bytes from index `at` on.
QByteArray report(int id, int at, const QByteArray &bytes)
{
    QByteArray r(reportlengths::Input, '\0');
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
    void decode_data();
    void decode();
    void commands_data();
    void commands();
};

void TestMonitorReports::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QList<int>>("decoded"); // status: value, lamp 1, lamp 2; values: four

    using L = QList<int>;
    QTest::newRow("unused status bytes ignored, lamp 2 alone")
        << report(0x01, 1, QByteArray("\xFF\xFF\xFF\xFF\x00\x10\xFF\xFF\xEF", 9)) << Kind::Status
        << L{0x1000, 0, 1};
    QTest::newRow("short status counts missing bytes as 0")
        << QByteArray("\x01\x00\x00\x00\x00\x05", 6) << Kind::Status << L{5, 0, 0};
    QTest::newRow("all four, value 3 from byte 5, bytes 6 and 7 unused")
        << report(0x80, 1, QByteArray("\x0A\x01\x20\x00\x02\xAA\xBB\x30\x04", 9)) << Kind::Values
        << L{1, 2, 2, 67};
    QTest::newRow("value report cut after byte 4")
        << QByteArray("\x80\x0A\x34\x12\x00", 5) << Kind::Values << L{0x234, 1, 0, 0};
    QTest::newRow("0x80 alone") << QByteArray("\x80", 1) << Kind::Other << L{};
}

void TestMonitorReports::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Kind, kind);
    QFETCH(QList<int>, decoded);

    QCOMPARE(kindOf(bytes), kind);
    if (kind == Kind::Status) {
        const Status status = decodeStatus(bytes);
        QCOMPARE(status.lamps.size(), 2);
        QCOMPARE((QList<int>{status.value, status.lamps.testBit(0), status.lamps.testBit(1)}),
                 decoded);
    } else if (kind == Kind::Values) {
        const std::array<int, 4> v = decodeValues(bytes);
        QCOMPARE((QList<int>{v[0], v[1], v[2], v[3]}), decoded);
    }
}

void TestMonitorReports::commands_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("4095.9 is sent as 4095, the top 4096 as is")
        << QList<double>{0.5, 1.99, 4095.9, 4096}
        << QByteArray("\x80\x03\x02\x00\x00\x01\x00\xFF\x0F\x00\x10", 11);
    // Through 64 bits: converting 1e12 straight to int is undefined.
    QTest::newRow("low 16 bits of a value past them")
        << QList<double>{65537, 1e12, 0, 0}
        << QByteArray("\x80\x03\x02\x01\x00\x00\x10\x00\x00\x00\x00", 11);
}

void TestMonitorReports::commands()
{
    QFETCH(QList<double>, values);
    QFETCH(QByteArray, bytes);
    QCOMPARE(setValuesReport({values[0], values[1], values[2], values[3]}), bytes);
}

QTEST_APPLESS_MAIN(TestMonitorReports)
#include "tst_monitorreports.moc"
