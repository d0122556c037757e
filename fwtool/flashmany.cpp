#include <fwtool/flashmany.h>

#include <fwtool/interruptsignal.h>
#include <fwtool/toolbackend.h>
#include <hidlink/devicenotifier.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <algorithm>

namespace fwtool {

namespace {

QString text(const std::string &path)
{
    return QString::fromStdString(path);
}

} // namespace

FlashMany::FlashMany(hidplatform::Backend &backend, const FlashRequest &request, int productId,
                     const Options &options, QTextStream &out)
    : backend(backend), request(request), productId(productId), options(options), out(out)
{
}

FlashMany::~FlashMany()
{
    for (auto &entry : running)
        delete entry.second;
}

int FlashMany::exec()
{
    QEventLoop events;
    loop = &events;
    InterruptSignal ctrlC;
    connect(&ctrlC, &InterruptSignal::interrupted, this, &FlashMany::interruptAll);
    if (options.watch) {
        // Every arrival and removal is answered by a look at what is present now.
        auto *notifier = new DeviceNotifier(backend, this);
        connect(notifier, &DeviceNotifier::arrived, this, &FlashMany::scan);
        connect(notifier, &DeviceNotifier::removed, this, &FlashMany::scan);
#ifdef _WIN32
        // Windows tells only windows of arrivals: a console program looks again instead.
        auto *rescan = new QTimer(this);
        connect(rescan, &QTimer::timeout, this, &FlashMany::scan);
        rescan->start(1000);
#endif
        if (!options.json && !options.quiet)
            out << "watching for devices; Ctrl+C ends\n" << Qt::flush;
    }
    QTimer::singleShot(0, this, &FlashMany::scan);
    events.exec();
    loop = nullptr;
    // The runs that ended last were handed to deleteLater as the loop quit: they go
    // now, and with them their readers, before the process's emulated devices do.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    if (!options.watch)
        std::stable_sort(
            results.begin(), results.end(),
            [](const FlashSummary &a, const FlashSummary &b) { return a.device < b.device; });
    const int code = exitCode();
    if (options.json) {
        QJsonObject totals{{"updated", tally.updated},
                           {"failed", tally.failed},
                           {"skipped", tally.skipped},
                           {"exitCode", code}};
        if (!options.watch) {
            QJsonArray devices;
            for (const FlashSummary &summary : results) {
                QJsonObject object = jsonObject(summary);
                object.insert("path", summary.device);
                devices.append(object);
            }
            totals.insert("devices", devices);
        }
        out << QJsonDocument(totals).toJson(QJsonDocument::Compact) << '\n';
    } else {
        if (!options.watch) {
            for (const FlashSummary &summary : results) {
                if (!options.quiet || summary.outcome != FlashOutcome::Complete)
                    out << summary.device << ": " << summary.message << '\n';
            }
        }
        if (!options.quiet || code != 0)
            out << (options.watch ? "totals: " : "") << tallyText() << '\n';
    }
    out.flush();
    return code;
}

void FlashMany::scan()
{
    if (stopping)
        return;
    const std::vector<std::string> paths = matchingDevices(backend, productId);
    if (!options.watch) {
        if (paths.empty()) {
            FlashSummary none;
            none.outcome = FlashOutcome::NoDevice;
            none.message = QStringLiteral("no device found");
            results.push_back(none);
            ++tally.failed;
            loop->quit();
            return;
        }
        for (const std::string &path : paths)
            startRun(path);
        return;
    }
    std::set<std::string> now(paths.begin(), paths.end());
    for (const std::string &path : paths) {
        // Plugged in (again) since the last look: it is due an update.
        if (!present.count(path))
            done.erase(path);
        if (!running.count(path) && !done.count(path))
            startRun(path);
    }
    present = std::move(now);
}

void FlashMany::startRun(const std::string &path)
{
    FlashRequest one = request;
    one.devicePath = path;
    one.waitSeconds = 0;
    auto *run = new FlashRun(backend, one, productId);
    running[path] = run;
    if (!options.watch && !options.quiet && !options.json) {
        progressLines[path] = text(path) + QStringLiteral("  waiting");
        connect(run, &FlashRun::progress, this,
                [this, path](const FlashProgress &now) { onProgress(path, now); });
    }
    connect(run, &FlashRun::note, this, [this, path](const QString &note) {
        if (!options.json && !options.quiet && !options.terminal)
            out << text(path) << ": " << note << '\n' << Qt::flush;
    });
    connect(run, &FlashRun::finished, this,
            [this, path](const FlashSummary &summary) { onFinished(path, summary); });
    QTimer::singleShot(0, run, &FlashRun::start);
}

void FlashMany::onProgress(const std::string &path, const FlashProgress &now)
{
    if (!options.terminal) {
        if (const std::optional<int> tenth = nextTenth(now, lastTenth[path])) {
            lastTenth[path] = *tenth;
            out << text(path) << "  " << progressLine(now) << '\n' << Qt::flush;
        }
        return;
    }
    QString line = text(path) + "  " + progressLine(now);
    if (line == progressLines[path])
        return;
    progressLines[path] = line;
    drawProgress();
}

void FlashMany::drawProgress()
{
    // The block of lines, one per device, drawn again in place.
    if (drawnLines > 0)
        out << "\x1b[" << drawnLines << 'A';
    for (const auto &entry : progressLines)
        out << "\r\x1b[K" << entry.second << '\n';
    drawnLines = int(progressLines.size());
    out.flush();
}

void FlashMany::onFinished(const std::string &path, const FlashSummary &result)
{
    FlashSummary summary = result;
    if (summary.device.isEmpty())
        summary.device = text(path);
    if (summary.outcome == FlashOutcome::Complete)
        ++tally.updated;
    else if (summary.skipped || summary.outcome == FlashOutcome::AlreadyCurrent)
        ++tally.skipped;
    else
        ++tally.failed;
    results.push_back(summary);
    if (FlashRun *run = running[path])
        run->deleteLater();
    running.erase(path);
    done.insert(path);

    if (options.watch) {
        if (options.json) {
            QJsonObject object = jsonObject(summary);
            object.insert("path", summary.device);
            object.insert("updated", tally.updated);
            object.insert("failed", tally.failed);
            object.insert("skipped", tally.skipped);
            out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
        } else {
            out << QStringLiteral("[%1] %2: %3  (%4)\n")
                       .arg(results.size())
                       .arg(summary.device, summary.message, tallyText());
        }
        out.flush();
    } else if (options.terminal && progressLines.count(path)) {
        progressLines[path] = summary.device + "  " + summary.message;
        drawProgress();
    }
    endIfDone();
}

void FlashMany::interruptAll()
{
    stopping = true;
    // Copied: a run that ends at once leaves the map while this goes through it.
    const std::map<std::string, FlashRun *> now = running;
    for (const auto &entry : now)
        entry.second->interrupt();
    endIfDone();
}

void FlashMany::endIfDone()
{
    if (running.empty() && loop && (stopping || !options.watch))
        loop->quit();
}

QString FlashMany::tallyText() const
{
    return QStringLiteral("%1 updated, %2 failed, %3 skipped")
        .arg(tally.updated)
        .arg(tally.failed)
        .arg(tally.skipped);
}

int FlashMany::exitCode() const
{
    for (const FlashSummary &summary : results) {
        const int code = exitCodeFor(summary.outcome, summary.errorNumber);
        if (code != 0)
            return code;
    }
    return 0;
}

} // namespace fwtool
