// `fwtool flash --all` (the real executable) on 1, 4 and 16 emulated devices in its
// process, each flashed with a 64 KiB image (32 KiB DSP + 32 KiB ARM) by a device that
// acknowledges at once. Prints, per N, each device's update time (from the tool's JSON)
// against the protocol's own pace (one 8-byte packet per 2 ms tick), the slowest device
// as `flash_many_pace_ratio_min N: r`, and the CPU time of the tool's process (its
// children's rusage) against its wall time. Checks every device's received images.
//
//   flash_many [FWTOOL]     (default: the fwtool built beside it)
//
// Exits 1 when a device is not updated or its received images differ from the file.

#include "benchsupport.h"
#include <flash/bootprotocol.h>
#include <flash/firmwareimage.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

constexpr int ImageHalf = 32 * 1024;

// The CPU time of the ended children; -1 where the system does not keep it (Windows).
double childrenCpuSeconds()
{
#ifdef _WIN32
    return -1;
#else
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#endif
}

bool sameImages(const QString &folder, const QByteArray &file)
{
    QFile dsp(folder + "/dsp.bin"), arm(folder + "/arm.bin");
    return dsp.open(QIODevice::ReadOnly) && arm.open(QIODevice::ReadOnly) &&
           dsp.readAll() + arm.readAll() == file.mid(firmware::HeaderSize);
}

// One --all run on `count` devices; false when a device was not updated as it should be.
bool flashMany(const QString &fwtool, const QString &file, const QByteArray &bytes, int count)
{
    QTemporaryDir images;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HIDLINK_BACKEND", "emulator");
    env.insert("EMULATOR_DEVICES", QString::number(count));
    env.insert("EMULATOR_IMAGE_DIR", images.path());
    env.insert("RIVET_LOCK_DIR", images.path());
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double cpuBefore = childrenCpuSeconds();
    const double start = bench::monotonicSeconds();
    tool.start(fwtool, {"flash", file, "--all", "--json"});
    if (!tool.waitForFinished(300000)) {
        std::printf("N %d: fwtool flash --all did not end\n", count);
        return false;
    }
    const double wall = bench::monotonicSeconds() - start;
    const double cpu = childrenCpuSeconds() - cpuBefore;
    const QJsonObject result = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    const QJsonArray devices = result.value("devices").toArray();

    const int packets = int(bytes.size() - firmware::HeaderSize) / firmware::PacketSize;
    const double pace = packets * bootprotocol::PacketIntervalMs / 1000.0;
    double slowest = 0;
    bool good = tool.exitCode() == 0 && devices.size() == count;
    for (int i = 0; i < devices.size(); ++i) {
        const QJsonObject device = devices.at(i).toObject();
        const double seconds = device.value("seconds").toDouble();
        slowest = std::max(slowest, seconds);
        // One device keeps the folder itself, several a folder each.
        const bool match =
            sameImages(count == 1 ? images.path() : images.filePath(QString::number(i + 1)), bytes);
        good = good && match && device.value("outcome") == "complete";
        if (!match || count <= 4)
            std::printf("N %d: device %d %s, %.3f s, images %s\n", count, i + 1,
                        qPrintable(device.value("outcome").toString()), seconds,
                        match ? "match" : "DIFFER");
    }
    std::printf("N %d: exit %d, slowest device %.3f s, pace %.3f s, whole process %.3f s\n", count,
                tool.exitCode(), slowest, pace, wall);
    std::printf("flash_many_pace_ratio_min %d: %.3f\n", count, slowest > 0 ? pace / slowest : 0);
    if (cpuBefore >= 0)
        std::printf("flash_many_cpu %d: %.3f s CPU in %.3f s (%.1f %% of one core)\n", count, cpu,
                    wall, 100 * cpu / wall);
    return good;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString fwtool = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(FWTOOL);
    std::printf("flash_many: load average before the run: %s\n", bench::loadAverage().c_str());
    QTemporaryDir dir;
    QByteArray dsp(ImageHalf, '\0'), arm(ImageHalf, '\0');
    for (int i = 0; i < ImageHalf; ++i) {
        dsp[i] = char(i * 7 + i / 251);
        arm[i] = char(i * 13 + i / 241);
    }
    const QByteArray bytes = firmware::pack(dsp, arm, 1251, '\xFF');
    const QString file = dir.filePath("many.fw");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return 1;
    out.close();
    bool good = true;
    for (int count : {1, 4, 16})
        good = flashMany(fwtool, file, bytes, count) && good;
    return good ? 0 : 1;
}
