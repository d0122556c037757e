// The monitor's window under a report flood: the emulated device sends 1000 status
// and 1000 value reports per second for 10 seconds while a "user" types a new value
// every 50 ms. Prints the GUI event loop's lag (from a periodic timer), the process
// CPU time as a share of one core, peak and flood-time memory, the backlog of
// queued reports, and whether every write reached the device.
//
//   monitor_flood [seconds]

#include "benchsupport.h"
#include <emulator/emulateddevice.h>
#include <monitor/mainwindow.h>
#include <monitor/usbthread.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int RateHz = 1000;
constexpr int TickMs = 5;  // the lag probe's period
constexpr int TypeMs = 50; // one typed value per this many ms

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long currentRssKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4;
}

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject
{
public:
    long paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// CPU seconds of each thread of this process, by thread name ("gui" for the main one).
std::vector<std::pair<std::string, double>> threadCpu()
{
    std::vector<std::pair<std::string, double>> result;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream in(("/proc/self/task/" + tid + "/stat").toStdString());
        std::string line;
        std::getline(in, line);
        const auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14 || i == 15) // utime, stime
                ticks += std::stod(field);
        }
        // The GUI thread is the process's first; the device emulator's keeps its name.
        const std::string name =
            tid.toLong() == getpid() ? std::string("gui") : line.substr(open + 1, close - open - 1);
        result.emplace_back(name, ticks / sysconf(_SC_CLK_TCK));
    }
    return result;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * (v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)];
}

int setValueWrites(const emulator::EmulatedDevice &device)
{
    int n = 0;
    for (const auto &report : device.featureReports())
        n += report.size() >= 3 && report[0] == 0x80 && report[1] == 0x03 && report[2] == 0x02;
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    hidplatform::EmulatedBackend backend;
    emulator::DeviceConfig config;
    config.statusRateHz = RateHz;
    config.valueRateHz = RateHz;
    emulator::EmulatedDevice device(backend, config);
    device.attach();

    int typed = 0;
    std::vector<double> lags;
    std::vector<long> rssSamples;
    std::atomic<long> emitted{0};
    long delivered = 0;
    long maxBacklog = 0;
    double cpuUsed = 0;
    std::vector<std::pair<std::string, double>> threadsAtStart, threadsAtEnd;
    PaintCounter rulerPaints;
    PaintCounter barPaints;
    double wallSeconds = 0;
    {
        monitor::MainWindow window(backend);
        window.show();
        window.onInit();
        auto *reader = window.findChild<monitor::USBThread *>();
        auto *edit = window.findChild<QLineEdit *>(QStringLiteral("lineEditB"));
        if (!reader || !edit) {
            std::fprintf(stderr, "monitor_flood: the window has no reader or no lineEditB\n");
            return 1;
        }
        window.findChild<QWidget *>(QStringLiteral("Ruler"))->installEventFilter(&rulerPaints);
        window.findChild<QWidget *>(QStringLiteral("Bar"))->installEventFilter(&barPaints);
        // Reports counted in the reader's thread as emitted, in the GUI thread as
        // delivered: the difference is the backlog of queued signals.
        const auto countEmitted = [&emitted] { emitted.fetch_add(1, std::memory_order_relaxed); };
        QObject::connect(reader, &monitor::USBThread::ReportDataBuffer, reader, countEmitted,
                         Qt::DirectConnection);
        QObject::connect(reader, &monitor::USBThread::ReportDataBuffer800a, reader, countEmitted,
                         Qt::DirectConnection);
        const auto countDelivered = [&delivered] { ++delivered; };
        QObject::connect(reader, &monitor::USBThread::ReportDataBuffer, &window, countDelivered);
        QObject::connect(reader, &monitor::USBThread::ReportDataBuffer800a, &window,
                         countDelivered);

        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QElapsedTimer sinceTick;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const double ms = sinceTick.nsecsElapsed() / 1e6;
            sinceTick.restart();
            lags.push_back(std::max(0.0, ms - TickMs));
        });

        QTimer typist;
        QObject::connect(&typist, &QTimer::timeout, [&] {
            // Alternating values that stay between handles 1 and 3.
            edit->setText(QString::number(typed % 2 ? 1100 : 1000));
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(edit, &press);
            ++typed;
        });

        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            rssSamples.push_back(currentRssKb());
            maxBacklog = std::max(maxBacklog, emitted.load() - delivered);
        });

        double cpuStart = 0;
        QElapsedTimer wall;
        // Measured after a short settling time, while the flood runs.
        QTimer::singleShot(500, [&] {
            rulerPaints.paints = 0;
            barPaints.paints = 0;
            cpuStart = cpuSeconds();
            threadsAtStart = threadCpu();
            wall.start();
            sinceTick.start();
            probe.start(TickMs);
            typist.start(TypeMs);
            sampler.start(1000);
            QTimer::singleShot(seconds * 1000, [&] {
                cpuUsed = cpuSeconds() - cpuStart;
                threadsAtEnd = threadCpu();
                wallSeconds = wall.nsecsElapsed() / 1e9;
                QCoreApplication::quit();
            });
        });
        app.exec();
    }

    const int writes = setValueWrites(device);
    const double p50 = percentile(lags, 0.50);
    const double p99 = percentile(lags, 0.99);
    const double worst = lags.empty() ? 0 : *std::max_element(lags.begin(), lags.end());
    std::printf("monitor_flood: %d s, %d status + %d value reports/s, %d values typed\n", seconds,
                RateHz, RateHz, typed);
    std::printf("reports emitted by the reader: %ld, delivered to the window: %ld, "
                "largest backlog seen: %ld\n",
                emitted.load(), delivered, maxBacklog);
    std::printf("set-values writes received by the device: %d of %d typed\n", writes, typed);
    std::printf("event loop lag (%zu samples of a %d ms timer): p50 %.2f ms, p99 %.2f ms, max "
                "%.2f ms\n",
                lags.size(), TickMs, p50, p99, worst);
    std::printf("paints per second: ruler %.0f, bar %.0f\n", rulerPaints.paints / wallSeconds,
                barPaints.paints / wallSeconds);
    std::printf("cpu: %.2f s in %.2f s, %.1f %% of one core (device emulator included)\n", cpuUsed,
                wallSeconds, 100.0 * cpuUsed / std::max(wallSeconds, 1e-9));
    std::printf("cpu by thread:");
    for (std::size_t i = 0; i < threadsAtEnd.size(); ++i) {
        const double before =
            i < threadsAtStart.size() && threadsAtStart[i].first == threadsAtEnd[i].first
                ? threadsAtStart[i].second
                : 0;
        std::printf(" %s %.1f %%", threadsAtEnd[i].first.c_str(),
                    100.0 * (threadsAtEnd[i].second - before) / std::max(wallSeconds, 1e-9));
    }
    std::printf("\n");
    std::printf("memory: peak rss %ld KiB; rss each second:", peakRssKb());
    for (long kb : rssSamples)
        std::printf(" %ld", kb);
    std::printf("\n");
    std::printf("monitor_flood_lag_p99_ms: %.2f\n", p99);
    return writes == typed ? 0 : 1;
}
