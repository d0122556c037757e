// GLib's headers use "signals" as a name, which Qt defines away: they come first.
#include <umockdev.h>

#include "hidrawnode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr std::size_t MaxReportLength = 64; // the tools read 20
constexpr int PumpWaitMs = 1000;

std::string hex(unsigned value, int width)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", width, value);
    return text;
}

emulator::DeviceConfig modelConfig(const NodeConfig &config)
{
    emulator::DeviceConfig model = config.model;
    model.featureReportLength = config.featureLength;
    return model;
}

bool isSetFeature(unsigned long request)
{
    const unsigned long sizeBits = (unsigned long)(_IOC_SIZEMASK) << _IOC_SIZESHIFT;
    return (request & ~sizeBits) == (HIDIOCSFEATURE(0) & ~sizeBits);
}

// A vendor-defined device of this kind: input reports 0x01 (status) and 0x80 (replies
// and values) of 19 data bytes, and the command feature report 0x80.
Bytes reportDescriptor(std::uint16_t featureLength)
{
    const auto featureBytes = static_cast<std::uint8_t>(featureLength - 1);
    // clang-format off
    return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,         // vendor page, application
            0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,         // bytes of 0..255
            0x85, 0x01, 0x95, 0x13, 0x09, 0x01, 0x81, 0x02,   // 0x01: 19 input bytes
            0x85, 0x80, 0x95, 0x13, 0x09, 0x02, 0x81, 0x02,   // 0x80: 19 input bytes
            0x95, featureBytes, 0x09, 0x03, 0xB1, 0x02, 0xC0}; // 0x80: the feature report
    // clang-format on
}

} // namespace

HidrawNode::HidrawNode(int index, const NodeConfig &config)
    : node("/dev/hidraw" + std::to_string(index)),
      hidName("0003:0483:0526." + hex(unsigned(index + 1), 4)),
      syspath("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/" + hidName +
              "/hidraw/hidraw" + std::to_string(index)),
      path(node + "#vid_0483&pid_0526"), descriptor(reportDescriptor(config.featureLength)),
      device(modelHost, modelConfig(config))
{
    device.attach();
    modelReader = modelHost.openRead(device.info().path);
    ioctlHandler = umockdev_ioctl_base_new();
    g_signal_connect(ioctlHandler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    g_signal_connect(ioctlHandler, "handle-read", G_CALLBACK(onRead), this);
}

HidrawNode::~HidrawNode()
{
    stopPump();
    modelHost.close(modelReader);
    g_object_unref(ioctlHandler);
}

void HidrawNode::connect(int fd)
{
    devFd = fd;
    pumpThread = std::thread(&HidrawNode::pump, this);
}

void HidrawNode::stopPump()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        readCalled.notify_all();
    }
    modelHost.cancelRead(modelReader);
    if (pumpThread.joinable())
        pumpThread.join();
}

void HidrawNode::fail()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (isGone)
            return;
        isGone = true;
    }
    stopPump();
    // hidraw wakes its readers when the device goes; the node here wakes a poll()
    // only for bytes, so one byte stands in for the hang-up, and its read fails.
    const std::uint8_t hangUp = 0;
    if (devFd >= 0 && ::write(devFd, &hangUp, 1) != 1)
        std::perror("hidraw node: hang-up byte");
}

int HidrawNode::onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self)
{
    auto *me = static_cast<HidrawNode *>(self);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    if (me->gone()) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    if (request == HIDIOCGRDESCSIZE) {
        UMockdevIoctlData *out = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), nullptr);
        int size = static_cast<int>(me->descriptor.size());
        umockdev_ioctl_data_update(out, 0, reinterpret_cast<guint8 *>(&size), sizeof size);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    if (request == HIDIOCGRDESC) {
        UMockdevIoctlData *out =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_report_descriptor), nullptr);
        std::uint32_t asked = 0;
        std::memcpy(&asked, out->data, sizeof asked);
        if (asked < me->descriptor.size()) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        // The descriptor is copied out; umockdev's signature lacks the const.
        umockdev_ioctl_data_update(out, sizeof asked, const_cast<guint8 *>(me->descriptor.data()),
                                   static_cast<gint>(me->descriptor.size()));
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    if (isSetFeature(request)) {
        // The length is in the request itself; the buffer starts with the report id.
        const gsize length = _IOC_SIZE(request);
        UMockdevIoctlData *in = umockdev_ioctl_data_resolve(arg, 0, length, nullptr);
        {
            std::lock_guard<std::mutex> lock(me->mutex);
            me->features.emplace_back(in->data, in->data + length);
        }
        // A device that does not take the report stalls the control transfer.
        if (me->device.onFeature(in->data, length))
            umockdev_ioctl_client_complete(client, static_cast<glong>(length), 0);
        else
            umockdev_ioctl_client_complete(client, -1, EPIPE);
        return TRUE;
    }
    return FALSE;
}

int HidrawNode::onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self)
{
    auto *me = static_cast<HidrawNode *>(self);
    bool failed;
    {
        std::lock_guard<std::mutex> lock(me->mutex);
        ++me->readCount;
        failed = me->isGone;
        me->failedReadCount += failed ? 1 : 0;
        me->readCalled.notify_all();
    }
    if (!failed)
        return FALSE; // the read takes the bytes the pump wrote
    umockdev_ioctl_client_complete(client, -1, EIO);
    return TRUE;
}

void HidrawNode::pump()
{
    for (;;) {
        std::uint8_t report[MaxReportLength];
        std::size_t length = 0;
        const hidplatform::ReadResult result =
            modelHost.read(modelReader, report, sizeof report, PumpWaitMs, &length);
        if (result == hidplatform::ReadResult::Failed)
            return; // cancelled by stopPump
        if (result != hidplatform::ReadResult::Ok)
            continue;
        {
            // The node is a byte stream, where hidraw hands out one report per read():
            // a report goes in only once the reader has come for the one before.
            std::unique_lock<std::mutex> lock(mutex);
            readCalled.wait(lock, [this] { return stopping || readCount > readsAtLastWrite; });
            if (stopping)
                return;
            readsAtLastWrite = readCount;
        }
        if (::write(devFd, report, length) != static_cast<ssize_t>(length))
            std::perror("hidraw node: input report");
    }
}
