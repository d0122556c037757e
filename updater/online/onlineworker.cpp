#include <updater/online/onlineworker.h>

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
    jobResult = job(control);
    endedCancelled = control.cancelled;
}
