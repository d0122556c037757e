// How long an input report takes from the device to the updater's window: the
// emulated device sends 10 000 version replies at a steady rate, each stamped with a
// sequence number; the real reader posts them as USBEvents to the window's update
// session, which hands each version reply to the window. The time from the device
// handing a report over to the window hearing of it, p50 and p99 in microseconds.
//
//   report_latency [reports, default 10000] [period in microseconds, default 1000]
//
// Exits 1 when a report is lost.

#include "benchsupport.h"
#include <emulator/emulateddevice.h>
#include <flash/updatesession.h>
#include <updater/mainwindow.h>

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr quint16 DeviceVersion = 1250;
constexpr std::uint8_t Marker = 0xB5; // byte 11: a report of this benchmark
constexpr int SequenceAt = 12;        // bytes 12 to 15, little-endian

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A version reply as the device sends it, with the benchmark's stamp in bytes the
// updater does not read.
std::vector<std::uint8_t> stampedReply(std::uint32_t sequence)
{
    std::vector<std::uint8_t> report =
        emulator::EmulatedDevice::valueReport({{0, 1024, 3072, 4095}}, DeviceVersion);
    report[11] = Marker;
    for (int i = 0; i < 4; ++i)
        report[SequenceAt + i] = std::uint8_t(sequence >> (8 * i));
    return report;
}

// Notes when each stamped report reaches the window.
struct Arrivals
{
    std::vector<std::int64_t> receivedNs;
    int received = 0;
    std::function<void()> onLast;

    void take(const QByteArray &data)
    {
        const std::int64_t at = nowNs();
        if (std::uint8_t(data[11]) != Marker)
            return;
        std::uint32_t sequence = 0;
        for (int i = 0; i < 4; ++i)
            sequence |= std::uint32_t(std::uint8_t(data[SequenceAt + i])) << (8 * i);
        if (sequence < receivedNs.size() && receivedNs[sequence] == 0) {
            receivedNs[sequence] = at;
            if (++received == int(receivedNs.size()) && onLast)
                onLast();
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(updater);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int periodUs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;
    std::printf("report_latency: %d reports, one every %d us; load average before the run: %s\n",
                count, periodUs, bench::loadAverage().c_str());

    hidplatform::EmulatedBackend backend;
    emulator::DeviceConfig config;
    config.version = DeviceVersion;
    emulator::EmulatedDevice device(backend, config);
    device.attach();

    std::vector<std::int64_t> sentNs(std::size_t(count), 0);
    std::vector<std::int64_t> receivedNs;
    int received = 0;
    {
        updater::MainWindow window(backend);
        Arrivals arrivals;
        arrivals.receivedNs.assign(std::size_t(count), 0);
        QObject::connect(window.findChild<flash::UpdateSession *>(),
                         &flash::UpdateSession::versionReceived, &window,
                         [&arrivals](const QByteArray &report) { arrivals.take(report); });
        window.show();

        // The window asks for the version a second after start; its reply comes first.
        if (!QTest::qWaitFor([&] { return window.deviceVersionValue() == DeviceVersion; }, 5000)) {
            std::fprintf(stderr, "report_latency: the device's version never arrived\n");
            return 1;
        }

        // The device's side: its own thread, on its own time.
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            auto due = std::chrono::steady_clock::now();
            for (int i = 0; i < count && !stop.load(); ++i) {
                due += std::chrono::microseconds(periodUs);
                std::this_thread::sleep_until(due);
                const std::vector<std::uint8_t> report = stampedReply(std::uint32_t(i));
                sentNs[std::size_t(i)] = nowNs();
                device.sendReport(report);
            }
        });

        QEventLoop run;
        arrivals.onLast = [&] { run.quit(); };
        QTimer::singleShot(int(std::int64_t(count) * periodUs / 1000) + 10000, &run,
                           &QEventLoop::quit);
        run.exec();
        stop.store(true);
        sender.join();
        receivedNs = arrivals.receivedNs;
        received = arrivals.received;
    }

    std::vector<double> latencyUs;
    latencyUs.reserve(std::size_t(received));
    for (int i = 0; i < count; ++i) {
        if (receivedNs[std::size_t(i)] != 0)
            latencyUs.push_back(double(receivedNs[std::size_t(i)] - sentNs[std::size_t(i)]) /
                                1000.0);
    }
    std::printf("reports that reached the window: %d of %d\n", received, count);
    if (latencyUs.empty())
        return 1;
    double sum = 0;
    for (double us : latencyUs)
        sum += us;
    std::printf("latency, device to window: mean %.0f us, p50 %.0f us, p90 %.0f us, p99 %.0f "
                "us, max %.0f us\n",
                sum / double(latencyUs.size()), bench::percentile(latencyUs, 0.50),
                bench::percentile(latencyUs, 0.90), bench::percentile(latencyUs, 0.99),
                *std::max_element(latencyUs.begin(), latencyUs.end()));
    std::printf("report_latency_p99_us: %.0f\n", bench::percentile(latencyUs, 0.99));
    return received == count ? 0 : 1;
}
