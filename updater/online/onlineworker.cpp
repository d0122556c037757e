#include <updater/online/onlineworker.h>

#include <updater/online/onlinelog.h>

#include <exception>

OnlineWorker::OnlineWorker(Job transfer, QObject *parent)
    : QThread(parent), job(std::move(transfer))
{
    control.progress = [this](long long received, long long expected) {
        emit progress(received, expected);
    };
}

OnlineWorker::~OnlineWorker()
{
    cancel();
    wait();
}

void OnlineWorker::cancel()
{
    control.cancelled = true;
}

void OnlineWorker::run()
{
    // Nothing may leave the thread: Qt would end the program. A failed allocation, say,
    // is a failed transfer like any other.
    try {
        jobResult = job(control);
    } catch (const std::exception &error) {
        qCWarning(lcFtp, "the transfer failed: %s", error.what());
    } catch (...) {
        qCWarning(lcFtp, "the transfer failed with an unknown exception");
    }
    endedCancelled = control.cancelled;
}
