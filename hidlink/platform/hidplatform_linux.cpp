#include "hidplatform.h"

#include <dirent.h>
#include <fstream>
#include <unistd.h>

namespace hidplatform {

namespace {

// Finds no device: real hidraw devices are not handled on Linux yet, which leaves
// the tools in their "no device" state rather than failing.
class LinuxBackend : public Backend
{
public:
    std::vector<DeviceInfo> enumerate() override { return {}; }
    Handle openRead(const std::string &) override { return InvalidHandle; }
    Handle openWrite(const std::string &) override { return InvalidHandle; }
    void close(Handle) override {}
    bool caps(Handle, Caps *) override { return false; }
    bool setFeature(Handle, const std::uint8_t *, std::size_t) override { return false; }
    ReadResult read(Handle, std::uint8_t *, std::size_t, int, std::size_t *) override
    {
        return ReadResult::Failed;
    }
    void cancelRead(Handle) override {}
    void setChangeHandler(ChangeHandler) override {}
};

std::string baseName(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

Backend &nativeBackend()
{
    static LinuxBackend instance;
    return instance;
}

int registerDeviceNotifications(void *)
{
    return 1;
}

bool decodeDeviceChange(const void *, DeviceChange *, std::string *)
{
    return false;
}

std::string executableFileName(const std::string &applicationName)
{
    return applicationName;
}

std::vector<std::string> runningExecutableNames()
{
    std::vector<std::string> names;
    DIR *proc = opendir("/proc");
    if (!proc)
        return names;
    while (dirent *entry = readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // The executable link is readable only for our own processes; argv[0] of the
        // command line names the others.
        char target[4096];
        const ssize_t n = readlink(("/proc/" + pid + "/exe").c_str(), target, sizeof target - 1);
        std::string name;
        if (n > 0) {
            name = baseName(std::string(target, static_cast<std::size_t>(n)));
            const std::string deleted = " (deleted)";
            if (name.size() > deleted.size() &&
                name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0)
                name.resize(name.size() - deleted.size());
        } else {
            std::ifstream cmdline("/proc/" + pid + "/cmdline");
            std::string argv0;
            if (!std::getline(cmdline, argv0, '\0') || argv0.empty())
                continue;
            name = baseName(argv0);
        }
        names.push_back(name);
    }
    closedir(proc);
    return names;
}

} // namespace hidplatform
