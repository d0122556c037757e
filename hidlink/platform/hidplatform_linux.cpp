// Linux backend: hidraw device nodes, found and followed through libudev.
//
// Interface paths are the device node followed by the ids in the form Windows puts
// in its paths, "/dev/hidraw3#vid_0483&pid_0526", so that the tools match arrivals
// and removals by the same text on every system.

#include <hidlink/platform/hiddescriptor.h>
#include <hidlink/platform/hidplatform.h>

#include <dirent.h>
#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace hidplatform {

namespace {

using Clock = std::chrono::steady_clock;

// udev creates the node before it has applied the rule that lets the user open it;
// an open this soon after an arrival is retried for a while.
constexpr auto arrivalGrace = std::chrono::milliseconds(1500);
constexpr auto openRetryPause = std::chrono::milliseconds(25);

// libudev's objects, each released with its unref function when it goes.
template <typename T, T *(*Unref)(T *)> struct UdevUnref
{
    void operator()(T *object) const { Unref(object); }
};
using UdevContext = std::unique_ptr<udev, UdevUnref<udev, udev_unref>>;
using UdevMonitor = std::unique_ptr<udev_monitor, UdevUnref<udev_monitor, udev_monitor_unref>>;
using UdevEnumerate =
    std::unique_ptr<udev_enumerate, UdevUnref<udev_enumerate, udev_enumerate_unref>>;
using UdevDevice = std::unique_ptr<udev_device, UdevUnref<udev_device, udev_device_unref>>;

// The ioctl encodes the length in 14 bits.
constexpr std::size_t maxFeatureLength = _IOC_SIZEMASK;

std::string interfacePath(const std::string &node, unsigned vendorId, unsigned productId)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "#vid_%04x&pid_%04x", vendorId, productId);
    return node + ids;
}

std::string deviceNode(const std::string &path)
{
    return path.substr(0, path.find('#'));
}

// Vendor and product from the HID_ID ("0003:00000483:00000526") of the hid parent.
bool hidIds(udev_device *hidraw, unsigned *vendorId, unsigned *productId)
{
    udev_device *hid = udev_device_get_parent_with_subsystem_devtype(hidraw, "hid", nullptr);
    const char *id = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
    unsigned bus = 0;
    return id && std::sscanf(id, "%x:%x:%x", &bus, vendorId, productId) == 3 &&
           *vendorId <= 0xFFFF && *productId <= 0xFFFF;
}

void wake(int eventFd)
{
    const std::uint64_t one = 1;
    while (::write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void drain(int eventFd)
{
    std::uint64_t count = 0;
    while (::read(eventFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

// An open device node. A read in progress holds its own reference, so that closing
// the handle on another thread never closes the descriptor under poll().
struct OpenNode
{
    int fd = -1;
    int wakeFd = -1; // read handles: written by cancelRead and close
    bool forReading = false;

    ~OpenNode()
    {
        if (fd >= 0)
            ::close(fd);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
};

class LinuxBackend : public Backend
{
public:
    ~LinuxBackend() override;

    std::vector<DeviceInfo> enumerate() override;
    Handle openRead(const std::string &path) override;
    Handle openWrite(const std::string &path) override;
    void close(Handle handle) override;
    bool caps(Handle handle, Caps *out) override;
    bool setFeature(Handle handle, const std::uint8_t *data, std::size_t length) override;
    ReadResult read(Handle handle, std::uint8_t *buffer, std::size_t length, int timeoutMs,
                    std::size_t *transferred) override;
    void cancelRead(Handle handle) override;
    int addChangeHandler(ChangeHandler handler) override;
    void removeChangeHandler(int token) override;

private:
    std::shared_ptr<OpenNode> find(Handle handle);
    Handle open(const std::string &path, bool forReading);
    bool arrivedRecently(const std::string &node);
    void startMonitor();
    void stopMonitor();
    void watch(UdevContext context, UdevMonitor monitor, int stopFd);
    void deviceEvent(udev_device *device);
    void notify(DeviceChange change, const std::string &path);

    std::mutex mutex; // guards everything below but the monitor thread itself
    std::map<Handle, std::shared_ptr<OpenNode>> nodes;
    Handle nextHandle = 1; // never reused, so a stale handle stays stale
    // Removal events come after sysfs is gone: the ids are remembered per node.
    std::map<std::string, std::string> knownPaths;
    std::map<std::string, Clock::time_point> arrivals;

    ChangeHandlers handlers;
    std::mutex monitorMutex; // one start or stop of the monitor at a time
    std::thread monitorThread;
    int monitorStopFd = -1;
};

LinuxBackend::~LinuxBackend()
{
    std::lock_guard<std::mutex> serial(monitorMutex);
    stopMonitor();
}

std::vector<DeviceInfo> LinuxBackend::enumerate()
{
    std::vector<DeviceInfo> devices;
    const UdevContext context(udev_new());
    const UdevEnumerate scan(context ? udev_enumerate_new(context.get()) : nullptr);
    if (!scan)
        return devices;
    udev_enumerate_add_match_subsystem(scan.get(), "hidraw");
    udev_enumerate_scan_devices(scan.get());
    udev_list_entry *entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan.get()))
    {
        const UdevDevice device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device)
            continue;
        const char *node = udev_device_get_devnode(device.get());
        unsigned vendorId = 0;
        unsigned productId = 0;
        if (node && hidIds(device.get(), &vendorId, &productId)) {
            DeviceInfo info;
            info.path = interfacePath(node, vendorId, productId);
            info.vendorId = static_cast<std::uint16_t>(vendorId);
            info.productId = static_cast<std::uint16_t>(productId);
            devices.push_back(info);
            std::lock_guard<std::mutex> lock(mutex);
            knownPaths[node] = info.path;
        }
    }
    return devices;
}

bool LinuxBackend::arrivedRecently(const std::string &node)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = arrivals.find(node);
    return it != arrivals.end() && Clock::now() - it->second < arrivalGrace;
}

Handle LinuxBackend::open(const std::string &path, bool forReading)
{
    // Only hidraw nodes: a path is never a way to open some other file.
    const std::string node = deviceNode(path);
    const std::string prefix = "/dev/hidraw";
    if (node.compare(0, prefix.size(), prefix) != 0 ||
        node.find('/', prefix.size()) != std::string::npos)
        return InvalidHandle;
    // The read side never blocks in read(): poll() decides when there is a report.
    const int flags = (forReading ? O_RDONLY | O_NONBLOCK : O_WRONLY) | O_CLOEXEC;
    // The node owns each descriptor from the moment it exists: whichever step fails
    // (the wake-up descriptor when the process is out of descriptors, say), returning
    // closes what was opened before it.
    auto opened = std::make_shared<OpenNode>();
    opened->forReading = forReading;
    while ((opened->fd = ::open(node.c_str(), flags)) < 0) {
        const int error = errno;
        if (error == EINTR)
            continue;
        if ((error != EACCES && error != EPERM && error != ENOENT) || !arrivedRecently(node))
            return InvalidHandle;
        std::this_thread::sleep_for(openRetryPause);
    }
    if (forReading && (opened->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) < 0)
        return InvalidHandle;
    std::lock_guard<std::mutex> lock(mutex);
    const Handle handle = nextHandle++;
    nodes[handle] = std::move(opened);
    return handle;
}

Handle LinuxBackend::openRead(const std::string &path)
{
    return open(path, true);
}

Handle LinuxBackend::openWrite(const std::string &path)
{
    return open(path, false);
}

std::shared_ptr<OpenNode> LinuxBackend::find(Handle handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = nodes.find(handle);
    return it == nodes.end() ? nullptr : it->second;
}

void LinuxBackend::close(Handle handle)
{
    std::shared_ptr<OpenNode> node;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = nodes.find(handle);
        if (it == nodes.end())
            return;
        node = std::move(it->second);
        nodes.erase(it);
    }
    // A pending read ends now; the descriptor goes with the last reference.
    if (node->forReading)
        wake(node->wakeFd);
}

bool LinuxBackend::caps(Handle handle, Caps *out)
{
    const std::shared_ptr<OpenNode> node = find(handle);
    if (!node)
        return false;
    int size = 0;
    if (ioctl(node->fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return false;
    auto descriptor = std::make_unique<hidraw_report_descriptor>();
    descriptor->size = static_cast<std::uint32_t>(size);
    if (ioctl(node->fd, HIDIOCGRDESC, descriptor.get()) < 0)
        return false;
    std::vector<ReportLengths> reports;
    if (!parseReportDescriptor(descriptor->value, descriptor->size, &reports))
        return false;
    *out = capsFromReports(reports);
    return true;
}

bool LinuxBackend::setFeature(Handle handle, const std::uint8_t *data, std::size_t length)
{
    const std::shared_ptr<OpenNode> node = find(handle);
    if (!node || node->forReading || length == 0 || length > maxFeatureLength)
        return false;
    // The ioctl writes nothing back for a feature report set, but takes a non-const buffer.
    std::vector<std::uint8_t> report(data, data + length);
    return ioctl(node->fd, HIDIOCSFEATURE(length), report.data()) >= 0;
}

ReadResult LinuxBackend::read(Handle handle, std::uint8_t *buffer, std::size_t length,
                              int timeoutMs, std::size_t *transferred)
{
    *transferred = 0;
    const std::shared_ptr<OpenNode> node = find(handle);
    if (!node || !node->forReading)
        return ReadResult::Failed;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        }
        pollfd fds[2] = {{node->wakeFd, POLLIN, 0}, {node->fd, POLLIN, 0}};
        const int ready = poll(fds, 2, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Failed;
        }
        // A cancel (or close) wins over a report, and is used up by this read.
        if (fds[0].revents != 0) {
            drain(node->wakeFd);
            return ReadResult::Failed;
        }
        if (ready == 0)
            return ReadResult::TimedOut;
        // Reports queued before an unplug can still be read; after them hidraw
        // answers EIO, and poll() reports the hang-up.
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(node->fd, buffer, length);
            if (n > 0) {
                *transferred = static_cast<std::size_t>(n);
                return ReadResult::Ok;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            return ReadResult::Failed;
        }
        return ReadResult::Failed; // POLLHUP, POLLERR, POLLNVAL
    }
}

void LinuxBackend::cancelRead(Handle handle)
{
    const std::shared_ptr<OpenNode> node = find(handle);
    if (node && node->forReading)
        wake(node->wakeFd);
}

int LinuxBackend::addChangeHandler(ChangeHandler handler)
{
    std::lock_guard<std::mutex> serial(monitorMutex);
    const int token = handlers.add(std::move(handler));
    if (!monitorThread.joinable())
        startMonitor();
    return token;
}

void LinuxBackend::removeChangeHandler(int token)
{
    std::lock_guard<std::mutex> serial(monitorMutex);
    if (handlers.remove(token) && monitorThread.get_id() != std::this_thread::get_id())
        stopMonitor();
}

void LinuxBackend::startMonitor()
{
    // Without a monitor there are no notifications, as with a failed registration
    // on Windows: nothing is reported.
    UdevContext context(udev_new());
    UdevMonitor monitor(context ? udev_monitor_new_from_netlink(context.get(), "udev") : nullptr);
    const int stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!monitor || stopFd < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        if (stopFd >= 0)
            ::close(stopFd);
        return;
    }
    monitorStopFd = stopFd;
    monitorThread =
        std::thread(&LinuxBackend::watch, this, std::move(context), std::move(monitor), stopFd);
    // Learns the ids of the devices present now, so that their removal can be named.
    enumerate();
}

void LinuxBackend::stopMonitor()
{
    if (!monitorThread.joinable())
        return;
    wake(monitorStopFd);
    monitorThread.join();
    ::close(monitorStopFd);
    monitorStopFd = -1;
}

// The context is held only so that it lives as long as its monitor.
void LinuxBackend::watch(UdevContext, UdevMonitor monitor, int stopFd)
{
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {udev_monitor_get_fd(monitor.get()), POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents != 0)
            break;
        if (fds[1].revents & POLLIN) {
            if (const UdevDevice device{udev_monitor_receive_device(monitor.get())})
                deviceEvent(device.get());
        } else if (fds[1].revents != 0) {
            break;
        }
    }
}

void LinuxBackend::deviceEvent(udev_device *device)
{
    const char *action = udev_device_get_action(device);
    const char *devnode = udev_device_get_devnode(device);
    if (!action || !devnode)
        return;
    const std::string node = devnode;
    std::string path = node;
    if (std::strcmp(action, "add") == 0) {
        unsigned vendorId = 0;
        unsigned productId = 0;
        if (hidIds(device, &vendorId, &productId))
            path = interfacePath(node, vendorId, productId);
        {
            std::lock_guard<std::mutex> lock(mutex);
            knownPaths[node] = path;
            arrivals[node] = Clock::now();
        }
        notify(DeviceChange::Arrival, path);
    } else if (std::strcmp(action, "remove") == 0) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            const auto known = knownPaths.find(node);
            if (known != knownPaths.end()) {
                path = known->second;
                knownPaths.erase(known);
            }
            arrivals.erase(node);
        }
        notify(DeviceChange::Removal, path);
    }
}

void LinuxBackend::notify(DeviceChange change, const std::string &path)
{
    handlers.notify(change, path);
}

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

// Linux has no window messages for devices: the backend's change handler reports them.
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
        // command line names the others. Kernel threads have neither.
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
            if (errno == ENOENT)
                continue;
            const int fd = open(("/proc/" + pid + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            const ssize_t got = read(fd, target, sizeof target - 1);
            close(fd);
            if (got <= 0 || target[0] == '\0')
                continue;
            target[got] = '\0';
            name = baseName(target); // argv[0]: up to the first NUL
        }
        names.push_back(name);
    }
    closedir(proc);
    return names;
}

} // namespace hidplatform
