// The Linux backend against hidraw nodes emulated by umockdev: enumeration, report
// lengths, feature reports, input reports, cancellation, unplugging and hotplug.

// GLib's headers use "signals" as a name, which Qt defines away: they come first.
#include <umockdev.h>

#include "hidplatform.h"

#include <QtTest>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>

using namespace hidplatform;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The device's report descriptor: status report 0x01 and reply report 0x80 of 19
// data bytes each, and the command feature report 0x80 of `featureBytes` bytes.
Bytes deviceDescriptor(std::uint8_t featureBytes)
{
    return {0x06, 0x00, 0xFF, 0x09, 0x01,         0xA1, 0x01, 0x75, 0x08, 0x85, 0x01,
            0x95, 19,   0x09, 0x01, 0x81,         0x02, 0x85, 0x80, 0x95, 19,   0x09,
            0x02, 0x81, 0x02, 0x95, featureBytes, 0x09, 0x03, 0xB1, 0x02, 0xC0};
}

// One hidraw node and the device behind it. After unplug() it behaves as hidraw does
// for a device that is gone: reads fail with EIO, ioctls with ENODEV.
struct MockDevice
{
    std::string syspath;
    std::string node;
    std::string path; // the interface path the backend should report
    Bytes descriptor;
    UMockdevIoctlBase *handler = nullptr;

    std::mutex mutex;
    std::vector<Bytes> features;
    bool unplugged = false;

    bool isUnplugged()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return unplugged;
    }
};

gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    auto *device = static_cast<MockDevice *>(data);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    if (device->isUnplugged()) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    const gulong sizeMask = gulong(_IOC_SIZEMASK) << _IOC_SIZESHIFT;
    if (request == HIDIOCGRDESCSIZE) {
        UMockdevIoctlData *out = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), nullptr);
        int size = static_cast<int>(device->descriptor.size());
        umockdev_ioctl_data_update(out, 0, reinterpret_cast<guint8 *>(&size), sizeof size);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    if (request == HIDIOCGRDESC) {
        UMockdevIoctlData *out =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_report_descriptor), nullptr);
        std::uint32_t asked = 0;
        std::memcpy(&asked, out->data, sizeof asked);
        if (asked < device->descriptor.size()) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        umockdev_ioctl_data_update(out, sizeof asked, device->descriptor.data(),
                                   static_cast<gint>(device->descriptor.size()));
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    if ((request & ~sizeMask) == (HIDIOCSFEATURE(0) & ~sizeMask)) {
        const gsize length = _IOC_SIZE(request);
        UMockdevIoctlData *in = umockdev_ioctl_data_resolve(arg, 0, length, nullptr);
        {
            std::lock_guard<std::mutex> lock(device->mutex);
            device->features.emplace_back(in->data, in->data + in->data_len);
        }
        umockdev_ioctl_client_complete(client, static_cast<glong>(length), 0);
        return TRUE;
    }
    return FALSE;
}

gboolean onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    if (!static_cast<MockDevice *>(data)->isUnplugged())
        return FALSE; // the bytes the test wrote to the node
    umockdev_ioctl_client_complete(client, -1, EIO);
    return TRUE;
}

// Arrivals and removals as the backend's handler reports them, from its thread.
class ChangeLog
{
public:
    void add(DeviceChange change, const std::string &path)
    {
        std::lock_guard<std::mutex> lock(mutex);
        seen.emplace_back(change, path);
        changed.notify_all();
    }
    bool waitFor(DeviceChange change, const std::string &path)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return has(change, path); });
    }
    bool contains(DeviceChange change, const std::string &path)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return has(change, path);
    }

private:
    bool has(DeviceChange change, const std::string &path) const
    {
        return std::find(seen.begin(), seen.end(), std::make_pair(change, path)) != seen.end();
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<DeviceChange, std::string>> seen;
};

struct ReadOutcome
{
    ReadResult result = ReadResult::TimedOut;
    Bytes data;
};

// A read on its own thread, as the tools' reader threads do it.
std::future<ReadOutcome> readAsync(Handle handle, int timeoutMs)
{
    return std::async(std::launch::async, [=] {
        ReadOutcome outcome;
        std::uint8_t buffer[20] = {};
        std::size_t n = 0;
        outcome.result = backend().read(handle, buffer, sizeof buffer, timeoutMs, &n);
        outcome.data.assign(buffer, buffer + n);
        return outcome;
    });
}

// Long enough for any machine; a read that ends on its own gives TimedOut instead.
constexpr int blockingTimeoutMs = 20000;

bool finished(std::future<ReadOutcome> &read)
{
    return read.wait_for(std::chrono::milliseconds(blockingTimeoutMs + 5000)) ==
           std::future_status::ready;
}

} // namespace

Q_DECLARE_METATYPE(Bytes)

class tst_HidRaw : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void enumeration();
    void caps_data();
    void caps();
    void featureReports_data();
    void featureReports();
    void inputReports();
    void cancelRead();
    void closeEndsRead();
    void unplugEndsRead();
    void hotplug();
    void openRetriedAfterArrival();

private:
    MockDevice *addDevice(std::uint16_t vendorId, std::uint16_t productId,
                          const Bytes &descriptor = deviceDescriptor(63), bool withNode = true);
    void writeInput(MockDevice *device, const Bytes &report);
    void unplug(MockDevice *device);

    UMockdevTestbed *testbed = nullptr;
    int nextIndex = 0; // umockdev cannot add a node name twice
    std::vector<std::unique_ptr<MockDevice>> devices;
};

MockDevice *tst_HidRaw::addDevice(std::uint16_t vendorId, std::uint16_t productId,
                                  const Bytes &descriptor, bool withNode)
{
    const int index = nextIndex++;
    auto device = std::make_unique<MockDevice>();
    // sysfs writes these ids in upper-case hexadecimal.
    const auto hex = [](unsigned value, int width) {
        return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
    };
    const QString hid =
        QStringLiteral("0003:%1:%2.%3").arg(hex(vendorId, 4), hex(productId, 4), hex(index + 1, 4));
    const QString parent = QStringLiteral("/devices/pci0000:00/usb1/1-1/1-1:1.0/") + hid;
    const QString child = parent + QStringLiteral("/hidraw/hidraw%1").arg(index);
    QString text = QStringLiteral("P: %1\nE: SUBSYSTEM=hid\nE: HID_ID=0003:%2:%3\n\n")
                       .arg(parent, hex(vendorId, 8), hex(productId, 8));
    text += QStringLiteral("P: %1\n").arg(child);
    if (withNode)
        text += QStringLiteral("N: hidraw%1\n").arg(index);
    text += QStringLiteral("E: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw%1\n"
                           "A: dev=240:%1\nL: device=../../../%2\n")
                .arg(index)
                .arg(hid);

    device->syspath = "/sys" + child.toStdString();
    device->node = "/dev/hidraw" + std::to_string(index);
    char ids[32];
    std::snprintf(ids, sizeof ids, "#vid_%04x&pid_%04x", vendorId, productId);
    device->path = device->node + ids;
    device->descriptor = descriptor;

    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, text.toUtf8().constData(), &error)) {
        qWarning("umockdev: %s", error->message);
        g_error_free(error);
        return nullptr;
    }
    if (withNode) {
        device->handler = umockdev_ioctl_base_new();
        g_signal_connect(device->handler, "handle-ioctl", G_CALLBACK(onIoctl), device.get());
        g_signal_connect(device->handler, "handle-read", G_CALLBACK(onRead), device.get());
        if (!umockdev_testbed_attach_ioctl(testbed, device->node.c_str(), device->handler,
                                           &error)) {
            qWarning("umockdev: %s", error->message);
            g_error_free(error);
            return nullptr;
        }
    }
    devices.push_back(std::move(device));
    return devices.back().get();
}

void tst_HidRaw::writeInput(MockDevice *device, const Bytes &report)
{
    // The node is a byte stream: the tests keep at most one report outstanding.
    const int fd = umockdev_testbed_get_dev_fd(testbed, device->node.c_str());
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, report.data(), report.size()), ssize_t(report.size()));
}

void tst_HidRaw::unplug(MockDevice *device)
{
    {
        std::lock_guard<std::mutex> lock(device->mutex);
        device->unplugged = true;
    }
    umockdev_testbed_uevent(testbed, device->syspath.c_str(), "remove");
    // hidraw wakes its readers when the device goes; here a byte does it, and the
    // read that follows fails.
    const std::uint8_t wakeByte = 0;
    const int fd = umockdev_testbed_get_dev_fd(testbed, device->node.c_str());
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, &wakeByte, 1), ssize_t(1));
}

void tst_HidRaw::initTestCase()
{
    // The testbed must exist before umockdev can tell whether it is preloaded.
    testbed = umockdev_testbed_new();
    if (!umockdev_in_mock_environment())
        QSKIP("needs the umockdev preload: run under umockdev-wrapper");
}

void tst_HidRaw::cleanupTestCase()
{
    backend().setChangeHandler(nullptr);
}

void tst_HidRaw::enumeration()
{
    MockDevice *ours = addDevice(0x0483, 0x0526);
    MockDevice *otherProduct = addDevice(0x0483, 0x0527);
    MockDevice *otherVendor = addDevice(0x046d, 0xc52b);
    QVERIFY(ours && otherProduct && otherVendor);

    const std::vector<DeviceInfo> found = backend().enumerate();
    for (MockDevice *device : {ours, otherProduct, otherVendor}) {
        const auto it = std::find_if(found.begin(), found.end(),
                                     [&](const DeviceInfo &d) { return d.path == device->path; });
        QVERIFY2(it != found.end(), device->path.c_str());
    }
    // The ids come from the hid parent, and the first interface with both wins.
    const auto match = std::find_if(found.begin(), found.end(), [](const DeviceInfo &d) {
        return d.vendorId == 0x0483 && d.productId == 0x0526;
    });
    QVERIFY(match != found.end());
    QCOMPARE(match->path, ours->path);
    QCOMPARE(ours->path, ours->node + "#vid_0483&pid_0526");
    const auto vendorOnly = std::find_if(found.begin(), found.end(), [&](const DeviceInfo &d) {
        return d.path == otherVendor->path;
    });
    QCOMPARE(vendorOnly->vendorId, std::uint16_t(0x046d));
    QCOMPARE(vendorOnly->productId, std::uint16_t(0xc52b));
}

void tst_HidRaw::caps_data()
{
    QTest::addColumn<int>("featureBytes");
    QTest::addColumn<int>("featureLength");
    QTest::newRow("feature report of 64") << 63 << 64;
    QTest::newRow("feature report of 11") << 10 << 11;
}

void tst_HidRaw::caps()
{
    QFETCH(int, featureBytes);
    QFETCH(int, featureLength);
    MockDevice *device =
        addDevice(0x0483, 0x0526, deviceDescriptor(static_cast<std::uint8_t>(featureBytes)));
    QVERIFY(device);

    for (const bool forReading : {true, false}) {
        const Handle handle =
            forReading ? backend().openRead(device->path) : backend().openWrite(device->path);
        QVERIFY(handle != InvalidHandle);
        Caps caps;
        QVERIFY(backend().caps(handle, &caps));
        QCOMPARE(int(caps.inputReportByteLength), 20);
        QCOMPARE(int(caps.outputReportByteLength), 0);
        QCOMPARE(int(caps.featureReportByteLength), featureLength);
        backend().close(handle);
    }
}

void tst_HidRaw::featureReports_data()
{
    QTest::addColumn<int>("featureBytes");
    QTest::newRow("64 bytes") << 63;
    QTest::newRow("11 bytes") << 10;
}

void tst_HidRaw::featureReports()
{
    QFETCH(int, featureBytes);
    MockDevice *device =
        addDevice(0x0483, 0x0526, deviceDescriptor(static_cast<std::uint8_t>(featureBytes)));
    QVERIFY(device);
    const Handle writer = backend().openWrite(device->path);
    const Handle reader = backend().openRead(device->path);
    QVERIFY(writer != InvalidHandle && reader != InvalidHandle);
    Caps caps;
    QVERIFY(backend().caps(writer, &caps));

    // The version query, zero-padded to the device's feature report length.
    Bytes command(caps.featureReportByteLength, 0);
    command[0] = 0x80;
    command[1] = 0x03;
    command[2] = 0x01;
    QVERIFY(backend().setFeature(writer, command.data(), command.size()));
    // Feature reports go out through the write side only.
    QVERIFY(!backend().setFeature(reader, command.data(), command.size()));
    QVERIFY(!backend().setFeature(writer, command.data(), 0));

    {
        std::lock_guard<std::mutex> lock(device->mutex);
        QCOMPARE(device->features.size(), std::size_t(1));
        QCOMPARE(device->features.front(), command);
    }
    backend().close(reader);
    backend().close(writer);
    QVERIFY(!backend().setFeature(writer, command.data(), command.size()));
}

void tst_HidRaw::inputReports()
{
    MockDevice *device = addDevice(0x0483, 0x0526);
    QVERIFY(device);
    const Handle reader = backend().openRead(device->path);
    QVERIFY(reader != InvalidHandle);

    for (const std::uint8_t reportId : {0x80, 0x01}) {
        Bytes report(20, 0);
        report[0] = reportId;
        report[1] = 0x0A;
        report[6] = 0x04;
        report[7] = 0xE2;
        report[19] = 0x7F;
        std::future<ReadOutcome> read = readAsync(reader, blockingTimeoutMs);
        writeInput(device, report);
        QVERIFY(finished(read));
        const ReadOutcome outcome = read.get();
        QCOMPARE(outcome.result, ReadResult::Ok);
        QCOMPARE(outcome.data, report);
    }

    std::future<ReadOutcome> idle = readAsync(reader, 100);
    QVERIFY(finished(idle));
    QCOMPARE(idle.get().result, ReadResult::TimedOut);
    backend().close(reader);

    std::future<ReadOutcome> closed = readAsync(reader, 100);
    QVERIFY(finished(closed));
    QCOMPARE(closed.get().result, ReadResult::Failed);
}

void tst_HidRaw::cancelRead()
{
    MockDevice *device = addDevice(0x0483, 0x0526);
    QVERIFY(device);
    const Handle reader = backend().openRead(device->path);
    QVERIFY(reader != InvalidHandle);

    // A read blocked in the kernel ends at once, long before its own time-out.
    std::future<ReadOutcome> blocked = readAsync(reader, blockingTimeoutMs);
    QTest::qWait(200);
    backend().cancelRead(reader);
    QVERIFY(finished(blocked));
    QCOMPARE(blocked.get().result, ReadResult::Failed);

    // A cancel that comes first ends the next read, and only that one.
    backend().cancelRead(reader);
    std::future<ReadOutcome> early = readAsync(reader, blockingTimeoutMs);
    QVERIFY(finished(early));
    QCOMPARE(early.get().result, ReadResult::Failed);

    const Bytes report(20, 0x80);
    std::future<ReadOutcome> next = readAsync(reader, blockingTimeoutMs);
    writeInput(device, report);
    QVERIFY(finished(next));
    const ReadOutcome outcome = next.get();
    QCOMPARE(outcome.result, ReadResult::Ok);
    QCOMPARE(outcome.data, report);
    backend().close(reader);
}

void tst_HidRaw::closeEndsRead()
{
    MockDevice *device = addDevice(0x0483, 0x0526);
    QVERIFY(device);
    const Handle reader = backend().openRead(device->path);
    QVERIFY(reader != InvalidHandle);

    std::future<ReadOutcome> blocked = readAsync(reader, blockingTimeoutMs);
    QTest::qWait(200);
    backend().close(reader);
    QVERIFY(finished(blocked));
    QCOMPARE(blocked.get().result, ReadResult::Failed);

    // Handles are not reused: a new open gets another one.
    const Handle again = backend().openRead(device->path);
    QVERIFY(again != InvalidHandle);
    QVERIFY(again != reader);
    backend().close(again);
}

void tst_HidRaw::unplugEndsRead()
{
    MockDevice *device = addDevice(0x0483, 0x0526);
    QVERIFY(device);
    const Handle reader = backend().openRead(device->path);
    const Handle writer = backend().openWrite(device->path);
    QVERIFY(reader != InvalidHandle && writer != InvalidHandle);

    std::future<ReadOutcome> blocked = readAsync(reader, blockingTimeoutMs);
    QTest::qWait(200);
    unplug(device);
    QVERIFY(finished(blocked));
    QCOMPARE(blocked.get().result, ReadResult::Failed);

    const Bytes command(64, 0x80);
    QVERIFY(!backend().setFeature(writer, command.data(), command.size()));
    Caps caps;
    QVERIFY(!backend().caps(writer, &caps));

    // Once sysfs has forgotten it, enumeration no longer lists it.
    umockdev_testbed_remove_device(testbed, device->syspath.c_str());
    const std::vector<DeviceInfo> found = backend().enumerate();
    QVERIFY(std::none_of(found.begin(), found.end(),
                         [&](const DeviceInfo &d) { return d.path == device->path; }));
    backend().close(reader);
    backend().close(writer);
}

void tst_HidRaw::hotplug()
{
    auto log = std::make_shared<ChangeLog>();
    backend().setChangeHandler(
        [log](DeviceChange change, const std::string &path) { log->add(change, path); });

    MockDevice *device = addDevice(0x0483, 0x0526);
    QVERIFY(device);
    QVERIFY(log->waitFor(DeviceChange::Arrival, device->path));
    // The path of the notification is one the backend opens.
    const Handle writer = backend().openWrite(device->path);
    QVERIFY(writer != InvalidHandle);
    backend().close(writer);

    unplug(device);
    QVERIFY(log->waitFor(DeviceChange::Removal, device->path));

    // After the handler is taken away, nothing more reaches it.
    backend().setChangeHandler(nullptr);
    MockDevice *late = addDevice(0x0483, 0x0526);
    QVERIFY(late);
    QTest::qWait(300);
    QVERIFY(!log->contains(DeviceChange::Arrival, late->path));
}

void tst_HidRaw::openRetriedAfterArrival()
{
    auto log = std::make_shared<ChangeLog>();
    backend().setChangeHandler(
        [log](DeviceChange change, const std::string &path) { log->add(change, path); });

    // A node that has not appeared and did not just arrive is not waited for, and
    // nothing but a hidraw node is opened.
    QCOMPARE(backend().openWrite("/dev/hidraw99#vid_0483&pid_0526"), InvalidHandle);
    QCOMPARE(backend().openRead("/dev/hidraw0/../null#vid_0483&pid_0526"), InvalidHandle);
    QCOMPARE(backend().openRead("/dev/null"), InvalidHandle);

    // The arrival is announced before its node can be opened.
    MockDevice *device = addDevice(0x0483, 0x0526, deviceDescriptor(63), false);
    QVERIFY(device);
    QVERIFY(log->waitFor(DeviceChange::Arrival, device->path));
    std::future<Handle> opening =
        std::async(std::launch::async, [&] { return backend().openWrite(device->path); });
    QTest::qWait(150);
    const std::string devDir = std::string(umockdev_testbed_get_root_dir(testbed)) + "/dev";
    ::mkdir(devDir.c_str(), 0755);
    const int node = ::open((devDir + device->node.substr(4)).c_str(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(node >= 0);
    ::close(node);
    const Handle handle = opening.get();
    QVERIFY(handle != InvalidHandle);
    backend().close(handle);
    backend().setChangeHandler(nullptr);
}

QTEST_GUILESS_MAIN(tst_HidRaw)
#include "tst_hidraw.moc"
