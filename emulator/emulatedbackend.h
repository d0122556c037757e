#pragma once
// A backend whose devices live in this process: the device emulator plugs its
// devices in here, and the tools talk to them through the ordinary interface.

#include <hidlink/platform/hidplatform.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace hidplatform {

class EmulatedBackend;

// The device's side, implemented by the emulator.
class VirtualDevice
{
public:
    virtual ~VirtualDevice() = default;
    virtual DeviceInfo info() const = 0;
    virtual Caps caps() const = 0;
    // A feature report written by the host; false refuses it as a failing driver call.
    virtual bool onFeature(const std::uint8_t *data, std::size_t length) = 0;
    // False makes opening the device this way fail, as a driver may refuse it.
    virtual bool acceptsOpen(bool forReading) const = 0;
};

class EmulatedBackend : public Backend
{
public:
    EmulatedBackend();
    ~EmulatedBackend() override;

    // Present from the start, without a notification.
    void attach(VirtualDevice *device);
    // Plugged in or pulled out now: notifies the change handler.
    void plug(VirtualDevice *device);
    void unplug(VirtualDevice *device);
    // Gone without a notification (a device object being destroyed).
    void detach(VirtualDevice *device);
    bool isPresent(const VirtualDevice *device) const;
    // Queues one input report for every read handle open on `device`.
    void sendInput(const VirtualDevice *device, const std::uint8_t *data, std::size_t length);
    // Read handles currently open on `device` (a test's view of the host side).
    int openReadHandles(const VirtualDevice *device) const;

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
    struct OpenHandle
    {
        VirtualDevice *device = nullptr;
        bool forReading = false;
        bool gone = false; // the device was pulled out while this handle was open
        bool cancelled = false;
        std::deque<std::vector<std::uint8_t>> reports;
    };

    Handle open(const std::string &path, bool forReading);
    VirtualDevice *presentDevice(const std::string &path) const;
    void notify(DeviceChange change, const std::string &path);

    mutable std::mutex mutex;
    std::condition_variable reportsChanged;
    std::vector<VirtualDevice *> devices; // present devices, in enumeration order
    std::map<Handle, OpenHandle> handles;
    Handle nextHandle = 0x100; // never reused, so a stale handle stays stale
    ChangeHandlers handlers;
};

} // namespace hidplatform
