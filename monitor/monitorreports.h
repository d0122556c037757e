#pragma once
// The monitor's report layouts, in one place: which byte of an input report means
// what, and how its two commands are laid out. Pure functions over bytes.

#include <hidlink/reportlengths.h>

#include <QBitArray>
#include <QByteArray>
#include <array>

namespace monitorreports {

enum class Kind
{
    Status, // report id 0x01: a 16-bit value and two lamp bits
    Values, // report id 0x80, class 0x0A: four 12-bit values
    Other
};

struct Status
{
    int value = 0;      // unsigned 16-bit, little-endian in bytes 5 and 6
    QBitArray lamps{2}; // bit 0: lamp 1 (byte 9, 0x10); bit 1: lamp 2 (byte 9, 0x20)
};

// Bytes beyond the end of `report` count as 0.
Kind kindOf(const QByteArray &report);
Status decodeStatus(const QByteArray &report);
std::array<int, 4> decodeValues(const QByteArray &report);

// 80 03 01: asks the device for its version; it answers with a value report.
QByteArray versionQuery();
// 80 03 02 and the four values, each truncated toward zero, low 16 bits, low byte first.
QByteArray setValuesReport(const std::array<double, 4> &values);

} // namespace monitorreports
