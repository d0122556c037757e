#pragma once
// The device's update protocol in one place: which bytes each command carries and
// what each reply means. Commands are 11-byte feature reports with report id 0x80.

#include <hidlink/reportlengths.h>
#include <flash/firmwareimage.h>

#include <QByteArray>
#include <array>
#include <cstdint>

namespace bootprotocol {

using Command = std::array<std::uint8_t, reportlengths::Command>;

constexpr int AckWindow = 25;       // packets between acknowledgements
constexpr int PacketIntervalMs = 2; // one packet per tick of a packet timer
constexpr int TimeoutTicks = 2500;  // packet-timer ticks without an acknowledgement
constexpr int WatchdogIntervalMs = 1000;
constexpr int WatchdogLimit = 10; // watchdog ticks without "U"

Command versionQuery();
Command enterUpdate();
Command dspHandshake();
Command dspEnd();
Command armHandshake();
Command armEnd();
// A DSP (0x0D) or ARM (0x0E) data packet: `number` bytes of `image` from `offset`.
void fillDataPacket(Command &packet, std::uint8_t kind, const QByteArray &image, int offset,
                    int number);
constexpr std::uint8_t DspData = 0x0D;
constexpr std::uint8_t ArmData = 0x0E;

enum class Reply
{
    Ignored,
    Version,    // class 0x0A: the device's version in bytes 6 (low) and 7 (high)
    UpdateMode, // "U": the device has entered update mode
    DspAck,     // "V"
    ArmAck,     // "T", in class 0x0C or 0x0F
    Confirm,    // "Y"
};

Reply classify(const QByteArray &report);
std::uint16_t versionOf(const QByteArray &report);

} // namespace bootprotocol
