#pragma once
// Runs one transfer of the online check on a thread of its own, so that the window keeps
// painting and taking input while the server is slow; the window waits for `finished`.

#include <updater/online/transfercontrol.h>

#include <QThread>
#include <functional>

class OnlineWorker : public QThread
{
    Q_OBJECT
public:
    // Returns -1 on failure, as every transfer of the online check does.
    using Job = std::function<int(TransferControl &control)>;
    static constexpr int Failed = -1;

    explicit OnlineWorker(Job job, QObject *parent = nullptr);
    // Cancels and joins.
    ~OnlineWorker() override;

    // Asks the transfer to stop; it gives up within about a second. From any thread.
    void cancel();
    // The transfer ended on a cancel request (one that came after it ended does not count).
    bool isCancelled() const { return endedCancelled; }
    // The job's result once the thread has finished; Failed for a job that did not run,
    // did not end, or ended by an exception.
    int result() const { return isFinished() ? jobResult : Failed; }

signals:
    // Bytes received and expected (0: not known yet), emitted on the worker's thread.
    void progress(qint64 received, qint64 expected);

protected:
    void run() override;

private:
    Job job;
    TransferControl control;
    int jobResult = Failed;
    bool endedCancelled = false;
};
