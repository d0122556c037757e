#include <fwtool/flashcommand.h>

#include <fwtool/commands.h>
#include <fwtool/flashmany.h>
#include <fwtool/flashrun.h>
#include <fwtool/interruptsignal.h>
#include <fwtool/signaturecommand.h>
#include <fwtool/toolbackend.h>
#include <hidlink/deviceids.h>
#include <hidlink/platform/hidplatform.h>

#include <QEventLoop>
#include <QTimer>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fwtool {

namespace {

constexpr int MaxWaitSeconds = 24 * 3600;
constexpr int UsageExit = 2; // as for every fwtool command

int usageError(QTextStream &err, const QString &text)
{
    err << "fwtool: " << text << "\nTry 'fwtool flash --help' for more information.\n";
    return UsageExit;
}

bool standardOutputIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout));
#else
    return isatty(fileno(stdout));
#endif
}

// Progress and the closing line: on a terminal one line redrawn in place, elsewhere a
// line per 10 %; with --json only the object goes to standard output.
class Printer
{
public:
    Printer(QTextStream &out, QTextStream &err, bool quiet, bool json)
        : out(out), err(err), quiet(quiet), json(json), terminal(standardOutputIsTerminal())
    {
    }

    void progress(const FlashProgress &now)
    {
        if (quiet || json)
            return;
        if (!terminal) {
            if (const std::optional<int> tenth = nextTenth(now, lastTenth)) {
                lastTenth = *tenth;
                out << progressLine(now) << '\n' << Qt::flush;
            }
            return;
        }
        if (now.percent() == shownPercent && now.armStage == shownArm)
            return;
        shownPercent = now.percent();
        shownArm = now.armStage;
        out << '\r' << progressLine(now) << Qt::flush;
        lineOpen = true;
    }

    void note(const QString &text) { err << "fwtool: " << text << '\n' << Qt::flush; }

    int finish(const FlashSummary &summary)
    {
        if (lineOpen)
            out << '\n';
        if (json)
            out << jsonSummary(summary) << '\n';
        if (summary.outcome != FlashOutcome::Complete)
            err << "fwtool: " << summary.message << '\n';
        else if (!quiet && !json)
            out << summary.message << '\n';
        out.flush();
        err.flush();
        return exitCodeFor(summary.outcome, summary.errorNumber);
    }

private:
    QTextStream &out;
    QTextStream &err;
    const bool quiet;
    const bool json;
    const bool terminal;
    int lastTenth = 0;
    int shownPercent = -1;
    bool shownArm = false;
    bool lineOpen = false;
};

} // namespace

void defineFlash(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        "Flashes a firmware file into the device with the updater's own checks and "
        "protocol.\n" +
        exitCodeTable());
    parser.addPositionalArgument("flash", "This command.", "flash");
    parser.addPositionalArgument("file", "The firmware file.", "FILE.fw");
    parser.addOptions(
        {{"allow-older", "Flash a file older than the device's firmware."},
         {"wait", "Wait up to this long for the device to be plugged in (default 0).", "SECONDS"},
         {"quiet", "No progress and no closing line on success."},
         {"json", "Print one JSON object at the end: outcome, exitCode, deviceVersion, "
                  "fileVersion, bytes, seconds, message (with --all: a devices array of "
                  "these; with --watch: one line per device)."},
         {"device", "Update the device at this interface path (see fwtool list).", "PATH"},
         {"all", "Update every matching device at once; exit code of the first that failed."},
         {"watch", "Stay running and update every device plugged in, once until it is "
                   "plugged in again; Ctrl+C ends it."},
         {"force", "With --watch: update devices already at the file's version too."},
         {"require-signature", "Refuse a file without a valid signature (exit 3)."}});
    addKeyOption(parser);
}

int runFlash(const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    const QStringList words = parser.positionalArguments();
    if (words.size() < 2)
        return usageError(err, "flash needs a firmware file");
    if (words.size() > 2)
        return usageError(err, QString("unexpected argument '%1'").arg(words.at(2)));
    FlashRequest request;
    if (parser.isSet("wait")) {
        bool ok = false;
        const QString text = parser.value("wait");
        request.waitSeconds = text.toInt(&ok);
        if (!ok)
            return usageError(err, QString("--wait: '%1' is not a number").arg(text));
        if (request.waitSeconds < 0 || request.waitSeconds > MaxWaitSeconds)
            return usageError(err, QString("--wait: %1 is not within 0 to %2")
                                       .arg(request.waitSeconds)
                                       .arg(MaxWaitSeconds));
    }
    request.path = words.at(1);
    request.allowOlder = parser.isSet("allow-older");
    const bool all = parser.isSet("all"), watch = parser.isSet("watch");
    if (int(all) + int(watch) + int(parser.isSet("device")) > 1)
        return usageError(err, "--device, --all and --watch exclude each other");
    if (parser.isSet("force") && !watch)
        return usageError(err, "--force goes with --watch");
    if (parser.isSet("wait") && (all || watch))
        return usageError(err, "--wait goes with one device");
    request.devicePath = parser.value("device").toStdString();
    request.skipCurrent = watch && !parser.isSet("force");

    Printer printer(out, err, parser.isSet("quiet"), parser.isSet("json"));
    FlashSummary refusal;
    // The signature is the file's own matter: refused before anything else is looked at.
    const std::optional<QByteArray> key = chosenKey(parser, err);
    if (!key)
        return UsageExit;
    refusal.message = flashRefusal(request.path, *key, parser.isSet("require-signature"));
    if (!refusal.message.isEmpty()) {
        refusal.outcome = FlashOutcome::Refused;
        return printer.finish(refusal);
    }
    request.loadError = firmware::load(request.path, &request.image);
    // Any other verdict on the file needs the device's version.
    if (request.loadError == firmware::LoadError::CannotOpen) {
        refusal.outcome = FlashOutcome::Unreadable;
        refusal.message = request.path + ": " +
                          firmware::tipFor(firmware::Verdict::CannotOpen).english.simplified();
        return printer.finish(refusal);
    }

    hidplatform::Backend &backend = toolBackend();
    if (all || watch) {
        FlashMany many(
            backend, request, deviceids::ProductId,
            {watch, parser.isSet("json"), parser.isSet("quiet"), standardOutputIsTerminal()}, out);
        return many.exec();
    }
    InterruptSignal ctrlC;
    FlashRun run(backend, request, deviceids::ProductId);
    QEventLoop loop;
    FlashSummary summary;
    QObject::connect(&run, &FlashRun::progress,
                     [&printer](const FlashProgress &now) { printer.progress(now); });
    QObject::connect(&run, &FlashRun::note,
                     [&printer](const QString &text) { printer.note(text); });
    QObject::connect(&run, &FlashRun::finished, [&](const FlashSummary &result) {
        summary = result;
        loop.quit();
    });
    QObject::connect(&ctrlC, &InterruptSignal::interrupted, &run, &FlashRun::interrupt);
    QTimer::singleShot(0, &run, &FlashRun::start);
    loop.exec();
    return printer.finish(summary);
}

} // namespace fwtool
