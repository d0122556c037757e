#pragma once
// One hidraw node of a umockdev testbed with the emulator's device model behind it:
// the feature reports that reach the node's ioctl handler go to the model, and the
// model's input reports come out of the node, as the kernel would pass them on.

#include <emulator/emulatedbackend.h>
#include <emulator/emulateddevice.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// umockdev's GLib headers stay out of the tests: Qt defines "signals" away.
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

using Bytes = std::vector<std::uint8_t>;

struct NodeConfig
{
    // The feature report 0x80 the descriptor declares, report id byte included.
    std::uint16_t featureLength = 64;
    // False: udev announces the device before its node exists (and nothing reads it).
    bool withNode = true;
    emulator::DeviceConfig model;
};

inline Bytes padded(Bytes head, std::size_t length)
{
    head.resize(length, 0);
    return head;
}

class HidrawNode
{
public:
    HidrawNode(int index, const NodeConfig &config); // names /dev/hidraw<index>
    ~HidrawNode();
    HidrawNode(const HidrawNode &) = delete;
    HidrawNode &operator=(const HidrawNode &) = delete;

    void connect(int devFd);

    const std::string node;    // "/dev/hidrawN"
    const std::string hidName; // the hid parent's name, "0003:VVVV:PPPP.NNNN"
    const std::string syspath; // the hidraw device in sysfs
    const std::string path;    // the interface path the Linux backend reports
    UMockdevIoctlBase *handler() const { return ioctlHandler; }

    emulator::EmulatedDevice &model() { return device; }
    std::vector<Bytes> featureReports() const { return locked(features); }
    int reads() const { return locked(readCount); }
    int failedReads() const { return locked(failedReadCount); }

    // The device is gone, as hidraw sees it: readers are woken and their reads fail
    // with EIO, ioctls with ENODEV, and nothing more comes out of the model. Once.
    void fail();
    void stopPump();

private:
    static int onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self);
    static int onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self);
    bool gone() const { return locked(isGone); }
    template <typename T> T locked(const T &field) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return field;
    }
    void pump();

    const Bytes descriptor;
    hidplatform::EmulatedBackend modelHost; // private: only the pump reads from it
    emulator::EmulatedDevice device;
    hidplatform::Handle modelReader = hidplatform::InvalidHandle;
    UMockdevIoctlBase *ioctlHandler = nullptr;
    int devFd = -1;

    mutable std::mutex mutex;
    std::condition_variable readCalled;
    std::vector<Bytes> features;
    int readCount = 0;
    int failedReadCount = 0;
    int readsAtLastWrite = -1;
    bool isGone = false;
    bool stopping = false;
    std::thread pumpThread;
};
