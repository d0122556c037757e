#include <monitor/monitorreports.h>

#include <QtGlobal>

namespace monitorreports {

namespace {

int byteAt(const QByteArray &report, int index)
{
    return index < report.size() ? quint8(report.at(index)) : 0;
}

QByteArray command(quint8 code)
{
    QByteArray c(reportlengths::Command, '\0');
    c[0] = char(0x80);
    c[1] = char(0x03);
    c[2] = char(code);
    return c;
}

} // namespace

Kind kindOf(const QByteArray &report)
{
    if (byteAt(report, 0) == 0x01)
        return Kind::Status;
    if (byteAt(report, 0) == 0x80 && byteAt(report, 1) == 0x0A)
        return Kind::Values;
    return Kind::Other;
}

Status decodeStatus(const QByteArray &report)
{
    Status status;
    status.value = byteAt(report, 5) | byteAt(report, 6) << 8;
    status.lamps.setBit(0, byteAt(report, 9) & 0x10);
    status.lamps.setBit(1, byteAt(report, 9) & 0x20);
    return status;
}

std::array<int, 4> decodeValues(const QByteArray &report)
{
    // Value 3 takes its low byte from byte 5; bytes 6 and 7 carry the version.
    return {byteAt(report, 2) | (byteAt(report, 3) & 0x0F) << 8,
            byteAt(report, 3) >> 4 | byteAt(report, 4) << 4,
            byteAt(report, 5) | (byteAt(report, 8) & 0x0F) << 8,
            byteAt(report, 8) >> 4 | byteAt(report, 9) << 4};
}

QByteArray versionQuery()
{
    return command(0x01);
}

QByteArray setValuesReport(const std::array<double, 4> &values)
{
    QByteArray c = command(0x02);
    for (int i = 0; i < 4; ++i) {
        // Through 64 bits: a ruler value beyond the int range must not be undefined.
        const auto field = quint16(qint64(values[i]));
        c[3 + 2 * i] = char(field & 0xFF);
        c[4 + 2 * i] = char(field >> 8);
    }
    return c;
}

} // namespace monitorreports
