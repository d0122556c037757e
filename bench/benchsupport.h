#pragma once
// What the benchmarks share: the platform, process CPU time, the machine's load,
// percentiles, and the CPU time and wake-ups of one named thread of this process
// (Linux /proc).

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

// The benchmarks need no display: the offscreen platform unless one is named.
inline void offscreenUnlessSet()
{
#ifdef _WIN32
    if (!std::getenv("QT_QPA_PLATFORM"))
        _putenv_s("QT_QPA_PLATFORM", "offscreen");
#else
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
}

// CPU time of the whole process, every thread included, in seconds.
inline double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

inline double monotonicSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The first three fields of /proc/loadavg: what else the machine was doing.
inline std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Nearest-rank percentile, `p` in [0, 1].
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * double(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

struct ThreadUsage
{
    bool found = false;
    double cpuSeconds = 0; // time on a CPU (schedstat, nanosecond resolution)
    long wakeups = 0;      // voluntary context switches: each one is a sleep
};

// The first thread of this process whose name is `name` (QThread names its threads
// after their class unless they carry an object name).
inline ThreadUsage threadUsage(const std::string &name)
{
    ThreadUsage usage;
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return usage;
    while (dirent *entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string dir = std::string("/proc/self/task/") + entry->d_name;
        std::string comm;
        std::getline(std::ifstream(dir + "/comm"), comm);
        if (comm != name)
            continue;
        std::uint64_t ns = 0;
        std::ifstream(dir + "/schedstat") >> ns;
        usage.cpuSeconds = double(ns) / 1e9;
        std::ifstream status(dir + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                usage.wakeups = std::stol(line.substr(line.find(':') + 1));
        }
        usage.found = true;
        break;
    }
    closedir(tasks);
    return usage;
}

} // namespace bench
