// Input reports come from the device, of any content and, after a short read, of any
// length. Decoding must stay within the fields' ranges and be the exact inverse of
// the device's own encoding (the emulator's), and the set-values command must carry
// the values the device will read back.

#include <emulator/emulateddevice.h>
#include <monitor/monitorreports.h>

#include <cstdio>
#include <cstdlib>

using namespace monitorreports;

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "monitorreports: %s\n", what);
    std::abort();
}

int byteAt(const QByteArray &r, int i)
{
    return i < r.size() ? quint8(r.at(i)) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray report(reinterpret_cast<const char *>(data), int(size));

    const Kind kind = kindOf(report);
    const Kind expected = byteAt(report, 0) == 0x01                                ? Kind::Status
                          : byteAt(report, 0) == 0x80 && byteAt(report, 1) == 0x0A ? Kind::Values
                                                                                   : Kind::Other;
    if (kind != expected)
        fail("kindOf disagrees with bytes 0 and 1");

    const Status status = decodeStatus(report);
    if (status.value < 0 || status.value > 0xFFFF || status.lamps.size() != 2)
        fail("status out of range");
    const auto again = emulator::EmulatedDevice::statusReport(
        quint16(status.value), status.lamps.testBit(0), status.lamps.testBit(1));
    const Status decodedAgain =
        decodeStatus(QByteArray(reinterpret_cast<const char *>(again.data()), int(again.size())));
    if (decodedAgain.value != status.value || decodedAgain.lamps != status.lamps ||
        status.value != (byteAt(report, 5) | byteAt(report, 6) << 8) ||
        status.lamps.testBit(0) != bool(byteAt(report, 9) & 0x10) ||
        status.lamps.testBit(1) != bool(byteAt(report, 9) & 0x20))
        fail("status does not survive the device's encoding");

    const std::array<int, 4> values = decodeValues(report);
    std::array<std::uint16_t, 4> raw{};
    std::array<double, 4> asDoubles{};
    for (int i = 0; i < 4; ++i) {
        if (values[i] < 0 || values[i] > 0x0FFF)
            fail("a value beyond 12 bits");
        raw[i] = std::uint16_t(values[i]);
        asDoubles[i] = values[i];
    }
    // The device packs the four values around its version in bytes 6 and 7.
    const auto encoded = emulator::EmulatedDevice::valueReport(
        raw, std::uint16_t(byteAt(report, 6) | byteAt(report, 7) << 8));
    for (int i = 2; i <= 9; ++i) {
        if (encoded[std::size_t(i)] != byteAt(report, i))
            fail("decodeValues is not the inverse of the device's encoding");
    }

    const QByteArray command = setValuesReport(asDoubles);
    if (command.size() != reportlengths::Command || byteAt(command, 0) != 0x80 ||
        byteAt(command, 1) != 0x03 || byteAt(command, 2) != 0x02)
        fail("set-values command malformed");
    for (int i = 0; i < 4; ++i) {
        if ((byteAt(command, 3 + 2 * i) | byteAt(command, 4 + 2 * i) << 8) != values[i])
            fail("set-values command does not carry the values");
    }

    // Ruler values are doubles between 0 and 4096 and go out truncated.
    if (size >= 8) {
        std::array<double, 4> ruler{};
        for (int i = 0; i < 4; ++i)
            ruler[i] = double((data[2 * i] | data[2 * i + 1] << 8) % 40961) / 10.0;
        const QByteArray sent = setValuesReport(ruler);
        for (int i = 0; i < 4; ++i) {
            if ((byteAt(sent, 3 + 2 * i) | byteAt(sent, 4 + 2 * i) << 8) != int(ruler[i]))
                fail("a ruler value is not sent truncated");
        }
    }
    return 0;
}
