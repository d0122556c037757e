// Report lengths from report descriptor bytes, as HidP_GetCaps would give them.
// Random bytes and cuts are left to the fuzzer (fuzz/hiddescriptor_fuzz.cpp).

#include <hidlink/platform/hiddescriptor.h>

#include <QtTest>

#include <vector>

using namespace hidplatform;

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

// Short items by name, so that the descriptors below read like the real ones.
const auto reportId = [](std::uint8_t id) { return Bytes{0x85, id}; };
const auto reportSize = [](std::uint8_t bits) { return Bytes{0x75, bits}; };
const auto reportCount = [](std::uint8_t count) { return Bytes{0x95, count}; };
const Bytes input = {0x81, 0x02};
const Bytes output = {0x91, 0x02};
const Bytes feature = {0xB1, 0x02};
const Bytes push = {0xA4};
const Bytes pop = {0xB4};
const Bytes vendorCollection = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
const Bytes endCollection = {0xC0};

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The device's own shape: status report 0x01 and reply report 0x80 of 19 data
// bytes each, and the command feature report 0x80 of 63 data bytes.
const Bytes device =
    cat({vendorCollection, reportSize(8), reportId(0x01), reportCount(19), input, reportId(0x80),
         reportCount(19), input, reportCount(63), feature, endCollection});

} // namespace

class tst_HidDescriptor : public QObject
{
    Q_OBJECT

private slots:
    void lengths_data();
    void lengths();
    void malformed_data();
    void malformed();
};

void tst_HidDescriptor::lengths_data()
{
    QTest::addColumn<Bytes>("descriptor");
    // "id:input/output/feature" per report id, in the order of first use, then the
    // caps: report 0x80's lengths where declared, else the longest of each kind.
    QTest::addColumn<QString>("expected");

    QTest::newRow("device") << device << "01:20/0/0 80:20/0/64 -> 20/0/64";
    QTest::newRow("no report ids: id byte still counted")
        << cat({vendorCollection, reportSize(8), reportCount(8), input, reportCount(4), output,
                endCollection})
        << "00:9/5/0 -> 9/5/0";
    QTest::newRow("bits rounded up to bytes")
        << cat({reportId(2), reportSize(1), reportCount(3), input, reportSize(5), reportCount(1),
                input, reportSize(1), reportCount(9), feature})
        << "02:2/0/3 -> 2/0/3";
    QTest::newRow("long item skipped, its data not read as items")
        << cat({reportSize(8),
                reportId(1),
                {0xFE, 4, 0x10, 0x85, 0x09, 0x95, 0x40},
                reportCount(2),
                input})
        << "01:3/0/0 -> 3/0/0";
    QTest::newRow("push and pop restore id, size and count")
        << cat({reportSize(8), reportCount(4), reportId(1), push, reportId(2), reportSize(16),
                reportCount(3), feature, pop, feature})
        << "02:0/0/7 01:0/0/5 -> 0/0/7";
    QTest::newRow("report 0x80 wins over a longer one")
        << cat({reportSize(8), reportId(0x02), reportCount(40), feature, reportCount(30), input,
                reportId(0x80), reportCount(10), feature, reportCount(5), input})
        << "02:31/0/41 80:6/0/11 -> 6/0/11";
    QTest::newRow("longest where 0x80 lacks the kind")
        << cat({reportSize(8), reportId(0x80), reportCount(10), feature, reportId(0x02),
                reportCount(30), input, reportCount(7), output, reportId(0x03), reportCount(12),
                input})
        << "80:0/0/11 02:31/8/0 03:13/0/0 -> 31/8/11";
}

void tst_HidDescriptor::lengths()
{
    QFETCH(Bytes, descriptor);
    QFETCH(QString, expected);
    std::vector<ReportLengths> parsed;
    QVERIFY(parseReportDescriptor(descriptor.data(), descriptor.size(), &parsed));
    QStringList parts;
    for (const ReportLengths &r : parsed)
        parts << QString::asprintf("%02x:%d/%d/%d", r.reportId, r.input, r.output, r.feature);
    const Caps c = capsFromReports(parsed);
    QCOMPARE(parts.join(' ') + QString::asprintf(" -> %d/%d/%d", c.inputReportByteLength,
                                                 c.outputReportByteLength,
                                                 c.featureReportByteLength),
             expected);
}

void tst_HidDescriptor::malformed_data()
{
    QTest::addColumn<Bytes>("descriptor");

    QTest::newRow("short item cut in its data") << cat({reportSize(8), {0x96, 0x10}});
    QTest::newRow("long item without its header") << Bytes{0xFE, 0x02};
    QTest::newRow("long item cut in its data") << Bytes{0xFE, 0x05, 0x10, 1, 2};
    QTest::newRow("pop without push") << cat({push, pop, pop});
    QTest::newRow("report id 0") << cat({reportId(0), reportSize(8), reportCount(1), input});
    QTest::newRow("report id above 255") << Bytes{0x86, 0x00, 0x01};
    Bytes deep;
    for (int i = 0; i < 33; ++i)
        deep.push_back(push.front());
    QTest::newRow("pushes nested 33 deep") << deep;
    QTest::newRow("report longer than 65535 bytes")
        << cat({{0x77, 0xFF, 0xFF, 0xFF, 0xFF}, {0x97, 0xFF, 0xFF, 0xFF, 0xFF}, feature});
    QTest::newRow("lengths adding up past 65535 bytes")
        << cat({reportSize(255), reportCount(255), input, input, input, input, input, input, input,
                input, input});
}

void tst_HidDescriptor::malformed()
{
    QFETCH(Bytes, descriptor);
    std::vector<ReportLengths> reports{ReportLengths{7, 1, 1, 1}};
    QVERIFY(!parseReportDescriptor(descriptor.data(), descriptor.size(), &reports));
    QVERIFY(reports.empty());
}

QTEST_APPLESS_MAIN(tst_HidDescriptor)
#include "tst_hiddescriptor.moc"
