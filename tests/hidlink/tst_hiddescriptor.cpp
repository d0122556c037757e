// Report lengths from report descriptor bytes, as HidP_GetCaps would give them.

#include "hiddescriptor.h"

#include <QtTest>

#include <vector>

using namespace hidplatform;

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

// Short items by name, so that the descriptors below read like the real ones.
Bytes reportId(std::uint8_t id)
{
    return {0x85, id};
}
Bytes reportSize(std::uint8_t bits)
{
    return {0x75, bits};
}
Bytes reportCount(std::uint8_t count)
{
    return {0x95, count};
}
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
// bytes each, and the command feature report 0x80 of `featureBytes` data bytes.
Bytes deviceDescriptor(std::uint8_t featureBytes)
{
    return cat({vendorCollection, reportSize(8), reportId(0x01), reportCount(19), input,
                reportId(0x80), reportCount(19), input, reportCount(featureBytes), feature,
                endCollection});
}

QString describe(const std::vector<ReportLengths> &reports)
{
    QStringList parts;
    for (const ReportLengths &r : reports) {
        parts << QStringLiteral("%1:%2/%3/%4")
                     .arg(r.reportId, 2, 16, QLatin1Char('0'))
                     .arg(r.input)
                     .arg(r.output)
                     .arg(r.feature);
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

class tst_HidDescriptor : public QObject
{
    Q_OBJECT

private slots:
    void lengths_data();
    void lengths();
    void caps_data();
    void caps();
    void malformed_data();
    void malformed();
    void everyTruncationIsSafe();
    void garbageIsSafe();
};

void tst_HidDescriptor::lengths_data()
{
    QTest::addColumn<Bytes>("descriptor");
    // "id:input/output/feature" per report id, in the order of first use.
    QTest::addColumn<QString>("expected");

    QTest::newRow("device, feature 64") << deviceDescriptor(63) << "01:20/0/0 80:20/0/64";
    QTest::newRow("device, feature 11") << deviceDescriptor(10) << "01:20/0/0 80:20/0/11";
    QTest::newRow("no report ids: id byte still counted")
        << cat({vendorCollection, reportSize(8), reportCount(8), input, reportCount(4), output,
                endCollection})
        << "00:9/5/0";
    QTest::newRow("bits rounded up to bytes")
        << cat({reportId(2), reportSize(1), reportCount(3), input, reportSize(5), reportCount(1),
                input, reportSize(1), reportCount(9), feature})
        << "02:2/0/3";
    QTest::newRow("main items add up per id")
        << cat({reportSize(8), reportId(3), reportCount(2), feature, reportId(4), reportCount(5),
                feature, reportId(3), reportCount(1), feature})
        << "03:0/0/4 04:0/0/6";
    QTest::newRow("four-byte data")
        << cat({{0x87, 0x05, 0, 0, 0}, {0x77, 0x08, 0, 0, 0}, {0x97, 0x03, 0, 0, 0}, output})
        << "05:0/4/0";
    QTest::newRow("long item skipped, its data not read as items")
        << cat({reportSize(8),
                reportId(1),
                {0xFE, 4, 0x10, 0x85, 0x09, 0x95, 0x40},
                reportCount(2),
                input})
        << "01:3/0/0";
    QTest::newRow("push and pop restore id, size and count")
        << cat({reportSize(8), reportCount(4), reportId(1), push, reportId(2), reportSize(16),
                reportCount(3), feature, pop, feature})
        << "02:0/0/7 01:0/0/5";
    QTest::newRow("empty descriptor") << Bytes() << "";
}

void tst_HidDescriptor::lengths()
{
    QFETCH(Bytes, descriptor);
    QFETCH(QString, expected);
    std::vector<ReportLengths> reports;
    QVERIFY(parseReportDescriptor(descriptor.data(), descriptor.size(), &reports));
    QCOMPARE(describe(reports), expected);
}

void tst_HidDescriptor::caps_data()
{
    QTest::addColumn<Bytes>("descriptor");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("feature");

    QTest::newRow("device, feature 64") << deviceDescriptor(63) << 20 << 0 << 64;
    QTest::newRow("device, feature 11") << deviceDescriptor(10) << 20 << 0 << 11;
    QTest::newRow("report 0x80 wins over a longer one")
        << cat({reportSize(8), reportId(0x02), reportCount(40), feature, reportCount(30), input,
                reportId(0x80), reportCount(10), feature, reportCount(5), input})
        << 6 << 0 << 11;
    QTest::newRow("longest where 0x80 lacks the kind")
        << cat({reportSize(8), reportId(0x80), reportCount(10), feature, reportId(0x02),
                reportCount(30), input, reportCount(7), output, reportId(0x03), reportCount(12),
                input})
        << 31 << 8 << 11;
    QTest::newRow("no report 0x80: longest of each kind")
        << cat({reportSize(8), reportId(0x01), reportCount(19), input, reportId(0x02),
                reportCount(4), input, reportCount(32), feature})
        << 20 << 0 << 33;
}

void tst_HidDescriptor::caps()
{
    QFETCH(Bytes, descriptor);
    QFETCH(int, input);
    QFETCH(int, output);
    QFETCH(int, feature);
    std::vector<ReportLengths> reports;
    QVERIFY(parseReportDescriptor(descriptor.data(), descriptor.size(), &reports));
    const Caps caps = capsFromReports(reports);
    QCOMPARE(int(caps.inputReportByteLength), input);
    QCOMPARE(int(caps.outputReportByteLength), output);
    QCOMPARE(int(caps.featureReportByteLength), feature);
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

void tst_HidDescriptor::everyTruncationIsSafe()
{
    // A descriptor cut anywhere parses when the cut falls between items and is
    // refused inside one; either way nothing beyond the cut is read (ASan watches).
    const Bytes full = deviceDescriptor(63);
    int accepted = 0;
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        const Bytes head(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        std::vector<ReportLengths> reports;
        if (parseReportDescriptor(head.data(), head.size(), &reports))
            ++accepted;
    }
    // 13 items: the empty head, and the 13 heads that end after an item.
    QCOMPARE(accepted, 14);
}

void tst_HidDescriptor::garbageIsSafe()
{
    // Deterministic noise: whatever the bytes, the parser answers without crashing,
    // and an accepted descriptor gives lengths that include the id byte.
    std::uint32_t state = 12345;
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes noise(static_cast<std::size_t>(round % 64));
        for (std::uint8_t &b : noise) {
            state = state * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(state >> 16);
        }
        std::vector<ReportLengths> reports;
        if (!parseReportDescriptor(noise.data(), noise.size(), &reports)) {
            QVERIFY(reports.empty());
            continue;
        }
        ++accepted;
        for (const ReportLengths &r : reports) {
            QVERIFY(r.input != 1 && r.output != 1 && r.feature != 1);
        }
    }
    QVERIFY(accepted > 0);
}

QTEST_APPLESS_MAIN(tst_HidDescriptor)
#include "tst_hiddescriptor.moc"
