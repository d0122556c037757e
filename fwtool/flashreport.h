#pragma once
// What `fwtool flash` tells: its progress lines, the exit code of each outcome and the
// JSON object a script reads at the end. Pure, so that every text is decided here.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace fwtool {

enum class FlashOutcome
{
    Complete,
    Unreadable,     // the file could not be opened
    Refused,        // the updater's file checks refused the file
    NoDevice,       // not found, no version reply, or it cannot take the update
    OlderVersion,   // lower than the device's, and --allow-older was not given
    UpdateError,    // the protocol's error 1, 2, 4 or 5
    Interrupted,    // Ctrl+C
    AlreadyCurrent, // the device has the file's version (--watch without --force)
};

// 0, 1, 3, 4, 5, 10 + the protocol's error number, 130: fwtool's one table.
int exitCodeFor(FlashOutcome outcome, int errorNumber = 0);

// Where the transfer is, from the offset of the packet just sent.
struct FlashProgress
{
    bool armStage = false;
    qint64 sent = 0;  // image bytes sent, the packet just sent included
    qint64 total = 0; // DSP and ARM image bytes
    double seconds = 0;
    int percent() const;
};
FlashProgress progressAt(qint64 offset, qint64 dspEnd, qint64 fileSize, double seconds);
// "ARM  63 %  41288/65536 bytes  10.2 s"
QString progressLine(const FlashProgress &progress);
// A line for a log (one per 10 %): the tenth `progress` reached beyond `lastTenth`,
// or nothing.
std::optional<int> nextTenth(const FlashProgress &progress, int lastTenth);

struct FlashSummary
{
    FlashOutcome outcome = FlashOutcome::Complete;
    int errorNumber = 0;
    std::optional<quint16> deviceVersion; // before the update
    std::optional<qint32> fileVersion;
    qint64 bytes = 0;
    double seconds = 0;
    QString message;
    QString device;       // its interface path, once known
    bool skipped = false; // never written: the file did not suit it or it was busy
};
// One JSON object: outcome, exitCode, deviceVersion, fileVersion, bytes, seconds,
// message (unknown versions are null).
QJsonObject jsonObject(const FlashSummary &summary);
// The same, compact, on one line.
QByteArray jsonSummary(const FlashSummary &summary);

} // namespace fwtool
