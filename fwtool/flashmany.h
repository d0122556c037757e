#pragma once
// `fwtool flash --all` and `--watch`: a FlashRun per device, each bound to its own
// interface path with its own connection, session and lock, all in this process.
// --all updates the devices present now and ends; --watch updates every device plugged
// in, once until it is pulled out and plugged in again, until Ctrl+C.

#include <fwtool/flashrun.h>

#include <QObject>
#include <QTextStream>
#include <map>
#include <set>
#include <vector>

class QEventLoop;

namespace fwtool {

class FlashMany : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        bool watch = false;
        bool json = false;
        bool quiet = false;
        bool terminal = false; // progress redrawn in place, a line per device
    };

    FlashMany(hidplatform::Backend &backend, const FlashRequest &request, int productId,
              const Options &options, QTextStream &out);
    ~FlashMany() override;

    // Runs until every device is done (--all) or Ctrl+C (--watch); returns the exit code:
    // 0 when every device succeeded, else the code of the first one that did not (in path
    // order for --all, in time for --watch). Needs a QCoreApplication.
    int exec();

private:
    struct Tally
    {
        int updated = 0;
        int failed = 0;
        int skipped = 0;
    };

    void scan();
    void startRun(const std::string &path);
    void onProgress(const std::string &path, const FlashProgress &now);
    void onFinished(const std::string &path, const FlashSummary &summary);
    void interruptAll();
    void drawProgress();
    void endIfDone();
    QString tallyText() const;
    int exitCode() const;

    hidplatform::Backend &backend;
    const FlashRequest request;
    const int productId;
    const Options options;
    QTextStream &out;

    std::map<std::string, FlashRun *> running;
    std::set<std::string> present;                // as the last scan saw them
    std::set<std::string> done;                   // updated (or judged) since they were plugged in
    std::vector<FlashSummary> results;            // as the runs ended; by path at the end of --all
    std::map<std::string, QString> progressLines; // --all on a terminal
    std::map<std::string, int> lastTenth;
    int drawnLines = 0;
    Tally tally;
    bool stopping = false;
    QEventLoop *loop = nullptr;
};

} // namespace fwtool
