// Start-up time of the updater against a bare QMainWindow program, both run on the
// offscreen platform: from starting the process to its window's first painted frame
// (reported by the programs' start-up probe). The updater runs its own main(); it is
// started twice over, with the emulated device present (the device is opened and the
// reader started) and with the system's own backend (no device on this machine). The
// bare window is also run linked with every shared library the updater loads, to show
// what those libraries cost on their own. The programs run one at a time, in turn,
// after a warm-up run each; each ratio is of medians, the result the larger of the
// updater's two.
//
//   startup_ratio [runs per program, default 15]
//
// startup_updater, startup_bare and startup_bare_linked are expected beside it.

#include "benchsupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Program
{
    const char *label;
    std::string path;
    std::vector<std::string> env; // NAME=value, on top of this process's environment
    bool isUpdater;               // counts towards the result
    std::vector<double> seconds;
    std::vector<double> cpuSeconds; // of the whole run, up to the program's end
};

struct Run
{
    double shownAfter = -1; // seconds from the start to the first frame; < 0: failed
    double cpuSeconds = 0;
};

std::string ownFolder()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    std::string path(buffer, std::size_t(n));
    return path.substr(0, path.rfind('/'));
}

// The environment for a child: ours, with `overrides` replacing same-named entries.
std::vector<std::string> childEnvironment(const std::vector<std::string> &overrides)
{
    std::vector<std::string> result = overrides;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        const bool replaced =
            std::any_of(overrides.begin(), overrides.end(),
                        [&](const std::string &o) { return o.rfind(name, 0) == 0; });
        if (!replaced)
            result.push_back(text);
    }
    return result;
}

// Starts `program`, waits for its "shown" line and for its end.
Run runOnce(const Program &program)
{
    Run run;
    int out[2];
    if (pipe(out) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    // The platform's harmless warnings would only clutter the figures.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<std::string> env = childEnvironment(program.env);
    std::vector<char *> envp;
    for (std::string &entry : env)
        envp.push_back(&entry[0]);
    envp.push_back(nullptr);
    std::string path = program.path;
    char *argv[] = {&path[0], nullptr};

    pid_t pid = 0;
    const double started = bench::monotonicSeconds();
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        std::fprintf(stderr, "startup_ratio: cannot start %s: %s\n", path.c_str(),
                     std::strerror(spawned));
        return run;
    }

    double shownAfter = -1;
    std::string text;
    pollfd fd{out[0], POLLIN, 0};
    while (poll(&fd, 1, 30000) > 0) {
        char buffer[256];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, std::size_t(n));
        if (shownAfter < 0 && text.find("shown\n") != std::string::npos)
            shownAfter = bench::monotonicSeconds() - started;
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "startup_ratio: %s ended abnormally (status %d)\n", path.c_str(),
                     status);
        return run;
    }
    run.shownAfter = shownAfter;
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

double median(std::vector<double> values)
{
    return bench::percentile(std::move(values), 0.5);
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string folder = ownFolder();
    const std::vector<std::string> offscreen = {"QT_QPA_PLATFORM=offscreen"};
    std::vector<Program> programs = {
        {"bare QMainWindow", folder + "/startup_bare", offscreen, false, {}, {}},
        {"bare QMainWindow, the updater's shared libraries loaded",
         folder + "/startup_bare_linked",
         offscreen,
         false,
         {},
         {}},
        {"updater, emulated device present",
         folder + "/startup_updater",
         {"QT_QPA_PLATFORM=offscreen", "HIDLINK_BACKEND=emulator"},
         true,
         {},
         {}},
        {"updater, system backend (no device)",
         folder + "/startup_updater",
         {"QT_QPA_PLATFORM=offscreen", "HIDLINK_BACKEND="},
         true,
         {},
         {}},
    };
    std::printf("startup_ratio: %d runs per program after one warm-up; load average before the "
                "run: %s\n",
                runs, bench::loadAverage().c_str());

    for (int round = -1; round < runs; ++round) {
        for (Program &program : programs) {
            const Run run = runOnce(program);
            if (run.shownAfter < 0) {
                std::fprintf(stderr, "startup_ratio: %s did not show its window\n", program.label);
                return 1;
            }
            if (round >= 0) {
                program.seconds.push_back(run.shownAfter);
                program.cpuSeconds.push_back(run.cpuSeconds);
            }
        }
    }

    const double bare = median(programs[0].seconds);
    const double bareCpu = median(programs[0].cpuSeconds);
    double worst = 0;
    for (const Program &program : programs) {
        const auto [least, most] =
            std::minmax_element(program.seconds.begin(), program.seconds.end());
        const double ratio = median(program.seconds) / bare;
        std::printf("%s: to the first frame median %.1f ms (min %.1f, max %.1f), ratio %.2f; "
                    "cpu of the whole run median %.1f ms, ratio %.2f\n",
                    program.label, 1000 * median(program.seconds), 1000 * *least, 1000 * *most,
                    ratio, 1000 * median(program.cpuSeconds), median(program.cpuSeconds) / bareCpu);
        if (program.isUpdater)
            worst = std::max(worst, ratio);
    }
    std::printf("startup_ratio: %.2f\n", worst);
    return 0;
}
