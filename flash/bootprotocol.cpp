#include <flash/bootprotocol.h>

#include <algorithm>

namespace bootprotocol {

namespace {

Command command(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3)
{
    return Command{{0x80, b1, b2, b3, 0, 0, 0, 0, 0, 0, 0}};
}

std::uint8_t byteAt(const QByteArray &report, int i)
{
    return i < report.size() ? static_cast<std::uint8_t>(report.at(i)) : 0;
}

} // namespace

Command versionQuery()
{
    return command(0x03, 0x01, 0x00);
}
Command enterUpdate()
{
    return command(0x0C, 0x54, 0x02);
}
Command dspHandshake()
{
    return command(0x0C, 0x23, 0x01);
}
Command dspEnd()
{
    return command(0x0C, 0x21, 0x03);
}
Command armHandshake()
{
    return command(0x0F, 0x25, 0x01);
}
Command armEnd()
{
    return command(0x0F, 0x10, 0x03);
}

void fillDataPacket(Command &packet, std::uint8_t kind, const QByteArray &image, int offset,
                    int number)
{
    packet.fill(0);
    packet[0] = 0x80;
    packet[1] = kind;
    // Never past the image, nor past the 9 bytes a command has room for.
    const int available = std::max(0, std::min(number, int(image.size()) - offset));
    std::copy_n(image.constData() + offset, std::min(available, 9), packet.begin() + 2);
}

Reply classify(const QByteArray &report)
{
    const std::uint8_t cls = byteAt(report, 1);
    const std::uint8_t code = byteAt(report, 2);
    if (cls == 0x0A)
        return Reply::Version;
    if (cls == 0x0C) {
        switch (code) {
        case 0x55:
            return Reply::UpdateMode;
        case 0x56:
            return Reply::DspAck;
        case 0x54:
            return Reply::ArmAck;
        case 0x59:
            return Reply::Confirm;
        default:
            return Reply::Ignored;
        }
    }
    if (cls == 0x0F && code == 0x54)
        return Reply::ArmAck;
    return Reply::Ignored;
}

std::uint16_t versionOf(const QByteArray &report)
{
    return static_cast<std::uint16_t>(byteAt(report, 6) | byteAt(report, 7) << 8);
}

} // namespace bootprotocol
