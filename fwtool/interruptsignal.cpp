#include <fwtool/interruptsignal.h>

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

namespace {

std::atomic<InterruptSignal *> listener{nullptr};

BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    if (InterruptSignal *target = listener.load())
        QMetaObject::invokeMethod(target, "interrupted", Qt::QueuedConnection);
    return TRUE;
}

} // namespace

InterruptSignal::InterruptSignal(QObject *parent) : QObject(parent)
{
    listener.store(this);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptSignal::~InterruptSignal()
{
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    listener.store(nullptr);
}

#else

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int wakeUp[2] = {-1, -1};

void onSigint(int)
{
    const char byte = 1;
    // Nothing to do when the pipe is full: a Ctrl+C is already waiting in it.
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[1], &byte, 1);
}

} // namespace

InterruptSignal::InterruptSignal(QObject *parent) : QObject(parent)
{
    if (::pipe(wakeUp) != 0)
        return; // Ctrl+C then ends the process as it does by default
    for (int fd : wakeUp) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    auto *notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(wakeUp[0], bytes, sizeof bytes) > 0) {
        }
        emit interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = onSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

InterruptSignal::~InterruptSignal()
{
    if (wakeUp[0] < 0)
        return;
    std::signal(SIGINT, SIG_DFL);
    qDeleteAll(findChildren<QSocketNotifier *>()); // before its descriptor goes
    for (int &fd : wakeUp) {
        ::close(fd);
        fd = -1;
    }
}

#endif
