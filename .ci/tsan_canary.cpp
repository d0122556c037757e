// Races on purpose, run by .ci/tsan.sh with the suite's suppressions and Qt ordering
// hooks. A QThread writes a plain int and the GUI thread reads it with nothing
// ordering the two; both stacks run through Qt's own frames (the thread's start,
// the event dispatch), as our readers and windows do. The script demands a report
// for each case, which proves that neither the suppressions nor the hooks hide a
// race in code of ours.
//   tsan_canary plain    the thread only writes; the GUI thread polls isFinished()
//   tsan_canary posted   the thread posts an event, then writes; the GUI thread
//                        reads in that event: the post orders only what came before

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

class Racer : public QThread
{
public:
    explicit Racer(QObject *receiver) : receiver(receiver) {}
    int value = 0;

protected:
    void run() override
    {
        if (receiver)
            QCoreApplication::postEvent(receiver, new QEvent(QEvent::User));
        value = 1;
    }

private:
    QObject *const receiver;
};

class Receiver : public QObject
{
public:
    Racer *racer = nullptr;

protected:
    void customEvent(QEvent *) override
    {
        // isFinished() orders nothing for the tool; only wait() would.
        while (!racer->isFinished())
            QThread::msleep(1);
        std::printf("value %d\n", racer->value);
        QCoreApplication::quit();
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool posted = argc > 1 && std::strcmp(argv[1], "posted") == 0;
    Receiver receiver;
    Racer racer(posted ? &receiver : nullptr);
    receiver.racer = &racer;
    QTimer poll;
    if (!posted) {
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!racer.isFinished())
                return;
            std::printf("value %d\n", racer.value);
            app.quit();
        });
        poll.start(1);
    }
    racer.start();
    app.exec();
    racer.wait();
    return 0;
}
