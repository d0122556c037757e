#pragma once
// The operating system's side of the HID link, free of Qt so that every backend
// (Windows, Linux hidraw, the in-process emulator) can be built and checked alone.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace hidplatform {

// Stands for a Windows HANDLE on every backend; InvalidHandle is INVALID_HANDLE_VALUE.
using Handle = std::intptr_t;
constexpr Handle InvalidHandle = -1;

struct DeviceInfo
{
    std::string path; // interface path; carries "vid_XXXX&pid_XXXX" on every backend
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// The three report lengths of HIDP_CAPS the tools use, report id byte included.
struct Caps
{
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
    std::uint16_t featureReportByteLength = 0;
};

enum class ReadResult
{
    Ok,
    TimedOut,
    Failed
};

enum class DeviceChange
{
    Arrival,
    Removal
};

using ChangeHandler = std::function<void(DeviceChange, const std::string &path)>;

class Backend
{
public:
    virtual ~Backend() = default;

    // Present HID interfaces whose attributes could be read, in the system's order.
    virtual std::vector<DeviceInfo> enumerate() = 0;

    // Read side is opened for cancellable reads, write side for feature reports.
    virtual Handle openRead(const std::string &path) = 0;
    virtual Handle openWrite(const std::string &path) = 0;
    virtual void close(Handle handle) = 0;

    virtual bool caps(Handle handle, Caps *out) = 0;
    virtual bool setFeature(Handle handle, const std::uint8_t *data, std::size_t length) = 0;

    // Blocks for one input report of up to `length` bytes, at most `timeoutMs`.
    // A closed handle, a cancelled read or a removed device give Failed.
    virtual ReadResult read(Handle handle, std::uint8_t *buffer, std::size_t length, int timeoutMs,
                            std::size_t *transferred) = 0;
    // Ends a read pending on `handle` from another thread; the handle stays open.
    virtual void cancelRead(Handle handle) = 0;

    // Arrival and removal of HID interfaces, for backends that learn of them by
    // themselves; every handler added hears of every change. A handler may be called
    // from any thread; once removeChangeHandler has returned it is called no more.
    // Windows delivers its notifications as window messages instead (see
    // decodeDeviceChange). Returns a token for removeChangeHandler.
    virtual int addChangeHandler(ChangeHandler handler) = 0;
    virtual void removeChangeHandler(int token) = 0;
};

// The change handlers of one backend, for backends that learn of changes themselves.
class ChangeHandlers
{
public:
    int add(ChangeHandler handler);
    // True when no handler is left.
    bool remove(int token);
    // Calls every handler; a removal waits for a call in progress.
    void notify(DeviceChange change, const std::string &path);

private:
    std::mutex mutex;
    std::map<int, ChangeHandler> handlers;
    int nextToken = 1;
};

// An open handle and the backend it belongs to; closes it when it goes. Move-only.
class OwnedHandle
{
public:
    OwnedHandle() = default;
    OwnedHandle(Backend &owner, Handle handle) : owner(&owner), handle(handle) {}
    OwnedHandle(OwnedHandle &&other) noexcept : owner(other.owner), handle(other.release()) {}
    OwnedHandle &operator=(OwnedHandle &&other) noexcept
    {
        if (this != &other) {
            reset();
            owner = other.owner;
            handle = other.release();
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle &) = delete;
    OwnedHandle &operator=(const OwnedHandle &) = delete;
    ~OwnedHandle() { reset(); }

    Handle get() const { return handle; }
    bool valid() const { return handle != InvalidHandle; }
    // Closes the handle, if any.
    void reset()
    {
        if (valid())
            owner->close(release());
    }

private:
    Handle release()
    {
        const Handle h = handle;
        handle = InvalidHandle;
        return h;
    }
    Backend *owner = nullptr;
    Handle handle = InvalidHandle;
};

// This system's own backend, living as long as the process.
Backend &nativeBackend();

// Registers `nativeWindow` (an HWND on Windows) for HID interface notifications.
// Returns 1, as registration failures are not reported.
int registerDeviceNotifications(void *nativeWindow);

// Decodes a WM_DEVICECHANGE window message (a MSG*) into an arrival or removal of a
// device interface. False for every other message and on systems without them.
bool decodeDeviceChange(const void *message, DeviceChange *change, std::string *path);

// File names of the executables of every running process (for the single-instance rule).
// Empty when the system's process list cannot be read.
std::vector<std::string> runningExecutableNames();
// The executable file name the single-instance rule compares ("updater.exe" on Windows).
std::string executableFileName(const std::string &applicationName);

} // namespace hidplatform
