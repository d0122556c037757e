#include <emulator/emulatedbackend.h>

#include <algorithm>
#include <chrono>

namespace hidplatform {

EmulatedBackend::EmulatedBackend() = default;

EmulatedBackend::~EmulatedBackend()
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto &entry : handles)
        entry.second.cancelled = true;
    reportsChanged.notify_all();
}

void EmulatedBackend::attach(VirtualDevice *device)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (std::find(devices.begin(), devices.end(), device) == devices.end())
        devices.push_back(device);
}

void EmulatedBackend::plug(VirtualDevice *device)
{
    attach(device);
    notify(DeviceChange::Arrival, device->info().path);
}

void EmulatedBackend::unplug(VirtualDevice *device)
{
    detach(device);
    notify(DeviceChange::Removal, device->info().path);
}

void EmulatedBackend::detach(VirtualDevice *device)
{
    std::lock_guard<std::mutex> lock(mutex);
    devices.erase(std::remove(devices.begin(), devices.end(), device), devices.end());
    for (auto &entry : handles) {
        if (entry.second.device == device) {
            entry.second.gone = true;
            entry.second.reports.clear();
        }
    }
    reportsChanged.notify_all();
}

bool EmulatedBackend::isPresent(const VirtualDevice *device) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(devices.begin(), devices.end(), device) != devices.end();
}

void EmulatedBackend::sendInput(const VirtualDevice *device, const std::uint8_t *data,
                                std::size_t length)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto &entry : handles) {
        OpenHandle &h = entry.second;
        if (h.device == device && h.forReading && !h.gone)
            h.reports.emplace_back(data, data + length);
    }
    reportsChanged.notify_all();
}

int EmulatedBackend::openReadHandles(const VirtualDevice *device) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(std::count_if(handles.begin(), handles.end(), [&](const auto &e) {
        return e.second.device == device && e.second.forReading;
    }));
}

std::vector<DeviceInfo> EmulatedBackend::enumerate()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<DeviceInfo> result;
    for (const VirtualDevice *device : devices)
        result.push_back(device->info());
    return result;
}

VirtualDevice *EmulatedBackend::presentDevice(const std::string &path) const
{
    for (VirtualDevice *device : devices) {
        if (device->info().path == path)
            return device;
    }
    return nullptr;
}

Handle EmulatedBackend::open(const std::string &path, bool forReading)
{
    std::lock_guard<std::mutex> lock(mutex);
    VirtualDevice *device = presentDevice(path);
    if (!device || !device->acceptsOpen(forReading))
        return InvalidHandle;
    const Handle handle = nextHandle++;
    OpenHandle &h = handles[handle];
    h.device = device;
    h.forReading = forReading;
    return handle;
}

Handle EmulatedBackend::openRead(const std::string &path)
{
    return open(path, true);
}

Handle EmulatedBackend::openWrite(const std::string &path)
{
    return open(path, false);
}

void EmulatedBackend::close(Handle handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    handles.erase(handle);
    reportsChanged.notify_all();
}

bool EmulatedBackend::caps(Handle handle, Caps *out)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = handles.find(handle);
    if (it == handles.end() || it->second.gone)
        return false;
    *out = it->second.device->caps();
    return true;
}

bool EmulatedBackend::setFeature(Handle handle, const std::uint8_t *data, std::size_t length)
{
    VirtualDevice *device = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = handles.find(handle);
        if (it == handles.end() || it->second.gone || it->second.forReading)
            return false;
        device = it->second.device;
    }
    // As with a real driver, a report of another length than the device's is refused.
    if (length != device->caps().featureReportByteLength)
        return false;
    // Outside the lock: the device answers through sendInput.
    return device->onFeature(data, length);
}

ReadResult EmulatedBackend::read(Handle handle, std::uint8_t *buffer, std::size_t length,
                                 int timeoutMs, std::size_t *transferred)
{
    *transferred = 0;
    std::unique_lock<std::mutex> lock(mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto it = handles.find(handle);
        if (it == handles.end() || !it->second.forReading || it->second.gone)
            return ReadResult::Failed;
        OpenHandle &h = it->second;
        if (h.cancelled) {
            h.cancelled = false;
            return ReadResult::Failed;
        }
        if (!h.reports.empty()) {
            const std::vector<std::uint8_t> report = std::move(h.reports.front());
            h.reports.pop_front();
            const std::size_t n = std::min(length, report.size());
            std::copy(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(n), buffer);
            *transferred = n;
            return ReadResult::Ok;
        }
        if (reportsChanged.wait_until(lock, deadline) == std::cv_status::timeout)
            return ReadResult::TimedOut;
    }
}

void EmulatedBackend::cancelRead(Handle handle)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = handles.find(handle);
    if (it != handles.end())
        it->second.cancelled = true;
    reportsChanged.notify_all();
}

int EmulatedBackend::addChangeHandler(ChangeHandler handler)
{
    return handlers.add(std::move(handler));
}

void EmulatedBackend::removeChangeHandler(int token)
{
    handlers.remove(token);
}

void EmulatedBackend::notify(DeviceChange change, const std::string &path)
{
    handlers.notify(change, path);
}

} // namespace hidplatform
