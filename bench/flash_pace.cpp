// A 64 KiB firmware image (32 KiB DSP + 32 KiB ARM) flashed into the emulated device,
// which acknowledges at once, through the updater's real window: the file is picked
// in the real file dialog, the start button is pressed, and the completion box is
// closed with Ok from a timer. Prints the time from the start press to the completion
// box against the protocol's own pace (one 8-byte packet per 2 ms tick), the CPU time
// of the whole process meanwhile, and whether the device received the file's images.
// Then the same file through `fwtool flash` (the real executable, with the emulated
// device from its environment): the update's own time, as the tool reports it in its
// JSON summary, against the same pace.
//
//   flash_pace
//
// Exits 1 when a flash does not complete or the received images differ from the file.

#include "benchsupport.h"
#include <emulator/emulateddevice.h>
#include <flash/bootprotocol.h>
#include <flash/firmwareimage.h>
#include <updater/mainwindow.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int ImageHalf = 32 * 1024;
constexpr quint16 DeviceVersion = 1250;
constexpr int FlashTimeoutMs = 120000;
using bootprotocol::PacketIntervalMs;

// The updater's window whose end of process stops the benchmark's loop instead.
class BenchWindow : public updater::MainWindow
{
public:
    using MainWindow::MainWindow;
    std::function<void(int)> onEnd;

protected:
    void endProcess(int code) override
    {
        if (onEnd)
            onEnd(code);
    }
};

// Answers the modal windows the flash opens: the file dialog with `file`, and every
// message box with its first button, each from a zero timer once the window shows.
// Notes when each box appeared and what it said.
class Hand : public QObject
{
public:
    QString file;
    std::function<void(QMessageBox *)> onBox;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            if (onBox)
                onBox(box);
            QTimer::singleShot(0, box, [box] { box->buttons().first()->click(); });
        } else if (auto *dialog = qobject_cast<QFileDialog *>(watched)) {
            QTimer::singleShot(0, dialog, [this, dialog] {
                dialog->selectFile(file);
                // The dialog reads the name field on accept; selectFile may leave it
                // empty while the folder is still being listed.
                if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                    name->setText(file);
                QMetaObject::invokeMethod(dialog, "accept");
            });
        }
        return false;
    }
};

// Notes when each tick of the window's 2 ms packet timers is delivered, so that a
// slow flash shows where its time went: late ticks, or ticks lost altogether.
class TickLog : public QObject
{
public:
    std::vector<double> at;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Timer) {
            auto *timer = qobject_cast<QTimer *>(watched);
            if (timer && timer->interval() == PacketIntervalMs)
                at.push_back(bench::monotonicSeconds());
        }
        return false;
    }
};

// Deterministic, patternless bytes: a mismatch anywhere in the transfer shows.
QByteArray noise(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    for (char &byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = char(seed >> 24);
    }
    return bytes;
}

// The file flashed by `fwtool flash --json`; false when it did not complete or the
// device's images differ from the file.
bool flashThroughTheCommand(const QString &path, const QTemporaryDir &dir)
{
    const QString images = dir.filePath(QStringLiteral("cli-images"));
    QDir().mkpath(images);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HIDLINK_BACKEND", "emulator");
    env.insert("EMULATOR_VERSION", QString::number(DeviceVersion));
    env.insert("EMULATOR_IMAGE_DIR", images);
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double startedAt = bench::monotonicSeconds();
    tool.start(FWTOOL, {"flash", path, "--json"});
    if (!tool.waitForFinished(FlashTimeoutMs)) {
        std::printf("fwtool flash did not end\n");
        return false;
    }
    const double wall = bench::monotonicSeconds() - startedAt;
    const QJsonObject summary = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    QFile file(path), dsp(images + "/dsp.bin"), arm(images + "/arm.bin");
    const bool match = file.open(QIODevice::ReadOnly) && dsp.open(QIODevice::ReadOnly) &&
                       arm.open(QIODevice::ReadOnly) &&
                       dsp.readAll() + arm.readAll() == file.readAll().mid(16);
    std::printf("fwtool flash: exit %d, outcome %s\n", tool.exitCode(),
                qPrintable(summary.value("outcome").toString()));
    if (tool.exitCode() != 0)
        return false;
    const double measured = summary.value("seconds").toDouble();
    const double pace =
        summary.value("bytes").toDouble() / firmware::PacketSize * PacketIntervalMs / 1000.0;
    std::printf("fwtool flash: update %.3f s (whole process %.3f s), pace %.3f s\n", measured, wall,
                pace);
    std::printf("fwtool flash: received images match the file: %s\n", match ? "yes" : "NO");
    std::printf("flash_pace_ratio_cli: %.3f\n", pace / measured);
    return match;
}

} // namespace

int main(int argc, char *argv[])
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(updater);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    std::printf("flash_pace: load average before the run: %s\n", bench::loadAverage().c_str());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.fw"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(firmware::pack(noise(ImageHalf, 1), noise(ImageHalf, 2), DeviceVersion,
                                      '\xFF')) != 16 + 2 * ImageHalf) {
            std::fprintf(stderr, "flash_pace: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }

    hidplatform::EmulatedBackend backend;
    emulator::DeviceConfig config;
    config.version = DeviceVersion;
    emulator::EmulatedDevice device(backend, config);
    device.attach();

    bool completed = false;
    double pressedAt = 0, boxAt = 0, cpuAtPress = 0, cpuAtBox = 0;
    QStringList boxes;
    std::vector<double> tickGapsMs;
    std::size_t tickCount = 0;
    {
        BenchWindow window(backend);
        window.show();
        if (!QTest::qWaitFor([&] { return window.deviceVersionValue() == DeviceVersion; }, 5000)) {
            std::fprintf(stderr, "flash_pace: the device's version never arrived\n");
            return 1;
        }

        QEventLoop flash;
        Hand hand;
        hand.file = path;
        hand.onBox = [&](QMessageBox *box) {
            boxes << box->windowTitle() + ": " + box->text().replace('\n', ' ');
            if (box->text().startsWith(QStringLiteral("Update Complete!"))) {
                boxAt = bench::monotonicSeconds();
                cpuAtBox = bench::processCpuSeconds();
            } else {
                flash.quit(); // a tip or an error: the flash will not complete
            }
        };
        app.installEventFilter(&hand);
        TickLog ticks;
        window.findChild<QToolButton *>(QStringLiteral("TBFlush"))->click();
        auto *start = window.findChild<QToolButton *>(QStringLiteral("toolButton_2"));
        if (!start->isEnabled()) {
            std::fprintf(stderr, "flash_pace: the file was not accepted (%s)\n",
                         qPrintable(boxes.join(QStringLiteral("; "))));
            return 1;
        }

        window.onEnd = [&](int code) {
            completed = code == 0 && boxAt > 0;
            flash.quit();
        };
        QTimer::singleShot(FlashTimeoutMs, &flash, &QEventLoop::quit);
        cpuAtPress = bench::processCpuSeconds();
        pressedAt = bench::monotonicSeconds();
        app.installEventFilter(&ticks);
        start->click();
        flash.exec();
        app.removeEventFilter(&ticks);
        app.removeEventFilter(&hand);
        tickCount = ticks.at.size();
        for (std::size_t i = 1; i < ticks.at.size(); ++i)
            tickGapsMs.push_back(1000 * (ticks.at[i] - ticks.at[i - 1]));
    }

    const int packets = device.dataPackets();
    const bool match = device.imagesMatchFile(path.toStdString());

    std::printf("image: %d bytes DSP + %d bytes ARM, %d data packets received by the device\n",
                ImageHalf, ImageHalf, packets);
    std::printf("message boxes: %s\n", boxes.isEmpty() ? "none" : qPrintable(boxes.join("; ")));
    if (!completed) {
        std::printf("the flash did not complete\n");
        return 1;
    }
    const double measured = boxAt - pressedAt;
    const double pace = packets * PacketIntervalMs / 1000.0;
    const double cpu = cpuAtBox - cpuAtPress;
    std::printf("measured (start press to completion box): %.3f s\n", measured);
    std::printf("protocol pace (%d packets x %d ms): %.3f s\n", packets, PacketIntervalMs, pace);
    const long lateTicks = std::count_if(tickGapsMs.begin(), tickGapsMs.end(),
                                         [](double ms) { return ms >= 2.0 * PacketIntervalMs; });
    std::printf("packet timer ticks: %zu, interval p50 %.3f ms, p99 %.3f ms, max %.3f ms, "
                "%ld intervals of %d ms or more\n",
                tickCount, bench::percentile(tickGapsMs, 0.5), bench::percentile(tickGapsMs, 0.99),
                tickGapsMs.empty() ? 0.0 : *std::max_element(tickGapsMs.begin(), tickGapsMs.end()),
                lateTicks, 2 * PacketIntervalMs);
    std::printf("cpu time of the process during the flash: %.3f s (%.1f %% of one core)\n", cpu,
                100.0 * cpu / measured);
    std::printf("received images match the file: %s\n", match ? "yes" : "NO");
    std::printf("flash_pace_ratio: %.3f\n", pace / measured);
    const bool cliMatch = flashThroughTheCommand(path, dir);
    return match && cliMatch ? 0 : 1;
}
