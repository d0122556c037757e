// What an idle reader costs: the updater's reader thread (USBThread) with the device
// absent (the search found nothing, so it has no handle), then with the device present
// but silent (an open handle on which no report ever arrives). For each, the CPU time
// of the whole process over the period as a share of one core, and the reader thread's
// own CPU time and wake-ups.
//
//   reader_idle [seconds per case, default 10]

#include "benchsupport.h"
#include <emulator/emulateddevice.h>
#include <flash/usbthread.h>
#include <hidlink/hidlink.h>

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Stands for the window: counts the reports the reader posts (none, when silent).
class Receiver : public QObject
{
public:
    int reports = 0;

protected:
    void customEvent(QEvent *) override { ++reports; }
};

struct Figures
{
    double processPct = 0;
    double readerPct = 0;
    double wakeupsPerSecond = 0;
    int reports = 0;
    bool readerSeen = false;
};

// Runs a reader on the link as the window starts it, lets the event loop idle for
// `seconds`, then stops and joins the reader.
Figures measure(const HidLink &link, int seconds)
{
    Receiver receiver;
    USBThread reader(link.platform(), &receiver, link.readHandle(), link.deviceFound());
    reader.StopOrStart(true);
    reader.start(QThread::InheritPriority);

    Figures figures;
    double cpuStart = 0, wallStart = 0;
    bench::ThreadUsage readerStart;
    // Measured after the reader has settled into its wait.
    QTimer::singleShot(200, [&] {
        readerStart = bench::threadUsage("USBThread");
        cpuStart = bench::processCpuSeconds();
        wallStart = bench::monotonicSeconds();
        QTimer::singleShot(seconds * 1000, [&] {
            const double wall = bench::monotonicSeconds() - wallStart;
            const double cpu = bench::processCpuSeconds() - cpuStart;
            const bench::ThreadUsage readerEnd = bench::threadUsage("USBThread");
            figures.processPct = 100.0 * cpu / wall;
            figures.readerSeen = readerStart.found && readerEnd.found;
            figures.readerPct = 100.0 * (readerEnd.cpuSeconds - readerStart.cpuSeconds) / wall;
            figures.wakeupsPerSecond = double(readerEnd.wakeups - readerStart.wakeups) / wall;
            QCoreApplication::quit();
        });
    });
    QCoreApplication::exec();
    QCoreApplication::sendPostedEvents(&receiver);
    reader.finish();
    figures.reports = receiver.reports;
    return figures;
}

void print(const char *name, const Figures &f)
{
    std::printf("%s: process %.3f %% of one core; reader thread %.3f %%, %.1f wake-ups/s; "
                "%d reports posted\n",
                name, f.processPct, f.readerPct, f.wakeupsPerSecond, f.reports);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::printf("reader_idle: %d s per case; load average before the run: %s\n", seconds,
                bench::loadAverage().c_str());

    hidplatform::EmulatedBackend backend;
    emulator::EmulatedDevice device(backend); // no status reports: a silent device

    HidLink absent(backend, 0x0483, 0x0526);
    if (absent.OpenUSBHandle() != -1) {
        std::fprintf(stderr, "reader_idle: found a device that should be absent\n");
        return 1;
    }
    const Figures withoutDevice = measure(absent, seconds);
    print("device absent", withoutDevice);

    device.attach();
    HidLink present(backend, 0x0483, 0x0526);
    if (present.OpenUSBHandle() != 0 || present.readHandle() == hidplatform::InvalidHandle) {
        std::fprintf(stderr, "reader_idle: the emulated device could not be opened\n");
        return 1;
    }
    const Figures silentDevice = measure(present, seconds);
    print("device present, silent", silentDevice);
    present.closeReadHandle();

    if (!withoutDevice.readerSeen || !silentDevice.readerSeen)
        std::printf("(the reader thread was not found by name: its own figures are missing)\n");
    std::printf("reader_idle_cpu_pct: %.3f\n",
                std::max(withoutDevice.processPct, silentDevice.processPct));
    return 0;
}
