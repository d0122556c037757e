#include <fwtool/flashreport.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>

namespace fwtool {

namespace {

constexpr qint64 HeaderSize = 16;
constexpr qint64 PacketSize = 8;

const char *outcomeName(FlashOutcome outcome)
{
    switch (outcome) {
    case FlashOutcome::Complete:
        return "complete";
    case FlashOutcome::Unreadable:
        return "unreadable";
    case FlashOutcome::Refused:
        return "refused";
    case FlashOutcome::NoDevice:
        return "no-device";
    case FlashOutcome::OlderVersion:
        return "older-version";
    case FlashOutcome::UpdateError:
        return "update-error";
    case FlashOutcome::Interrupted:
        return "interrupted";
    case FlashOutcome::AlreadyCurrent:
        return "already-current";
    }
    return "";
}

} // namespace

int exitCodeFor(FlashOutcome outcome, int errorNumber)
{
    switch (outcome) {
    case FlashOutcome::Complete:
    case FlashOutcome::AlreadyCurrent:
        return 0;
    case FlashOutcome::Unreadable:
        return 1;
    case FlashOutcome::Refused:
        return 3;
    case FlashOutcome::NoDevice:
        return 4;
    case FlashOutcome::OlderVersion:
        return 5;
    case FlashOutcome::UpdateError:
        return 10 + errorNumber;
    case FlashOutcome::Interrupted:
        return 130; // what shells report for a program ended by SIGINT
    }
    return 1;
}

int FlashProgress::percent() const
{
    return total > 0 ? int(sent * 100 / total) : 0;
}

FlashProgress progressAt(qint64 offset, qint64 dspEnd, qint64 fileSize, double seconds)
{
    FlashProgress progress;
    progress.armStage = offset >= dspEnd;
    progress.sent = offset + PacketSize - HeaderSize;
    progress.total = fileSize - HeaderSize;
    progress.seconds = seconds;
    return progress;
}

QString progressLine(const FlashProgress &progress)
{
    return QStringLiteral("%1 %2 %  %3/%4 bytes  %5 s")
        .arg(progress.armStage ? QStringLiteral("ARM") : QStringLiteral("DSP"))
        .arg(progress.percent(), 3)
        .arg(progress.sent)
        .arg(progress.total)
        .arg(progress.seconds, 0, 'f', 1);
}

std::optional<int> nextTenth(const FlashProgress &progress, int lastTenth)
{
    const int tenth = progress.percent() / 10;
    if (tenth <= lastTenth)
        return std::nullopt;
    return tenth;
}

QJsonObject jsonObject(const FlashSummary &summary)
{
    return QJsonObject{
        {QStringLiteral("outcome"), QLatin1String(outcomeName(summary.outcome))},
        {QStringLiteral("exitCode"), exitCodeFor(summary.outcome, summary.errorNumber)},
        {QStringLiteral("deviceVersion"),
         summary.deviceVersion ? QJsonValue(*summary.deviceVersion) : QJsonValue()},
        {QStringLiteral("fileVersion"),
         summary.fileVersion ? QJsonValue(*summary.fileVersion) : QJsonValue()},
        {QStringLiteral("bytes"), summary.bytes},
        {QStringLiteral("seconds"), qRound(summary.seconds * 1000) / 1000.0},
        {QStringLiteral("message"), summary.message}};
}

QByteArray jsonSummary(const FlashSummary &summary)
{
    return QJsonDocument(jsonObject(summary)).toJson(QJsonDocument::Compact);
}

} // namespace fwtool
