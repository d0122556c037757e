// GLib's headers use "signals" as a name, which Qt defines away: they come first.
#include <umockdev.h>

#include "hidrawtestbed.h"

#include <hidlink/devicenotifier.h>

#include <QCoreApplication>
#include <QTest>
#include <algorithm>

namespace {

constexpr int AnnouncementTimeoutMs = 10000;

// sysfs as the kernel lays out a USB HID interface: the hid device, named after bus,
// vendor, product and a sequence number, and its hidraw child.
std::string sysfsText(const HidrawNode &node, const NodeConfig &config, int index)
{
    const std::string child = node.syspath.substr(4); // without "/sys"
    const std::string parent = child.substr(0, child.find("/hidraw/"));
    const std::string number = std::to_string(index);
    return "P: " + parent +
           "\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\nE: HID_ID=0003:00000483:00000526"
           "\n\nP: " +
           child + (config.withNode ? "\nN: hidraw" + number : "") +
           "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw" + number + "\nA: dev=240:" + number +
           "\nL: device=../../../" + node.hidName + "\n";
}

bool succeeded(gboolean done, GError *error, const char *what)
{
    if (done)
        return true;
    qWarning("umockdev, %s: %s", what, error ? error->message : "failed");
    if (error)
        g_error_free(error);
    return false;
}

} // namespace

const char *const HidrawTestbed::NoPreload =
    "needs the umockdev preload: run under umockdev-wrapper";

HidrawTestbed::HidrawTestbed() : testbed(umockdev_testbed_new()) {}

HidrawTestbed::~HidrawTestbed()
{
    for (const auto &node : nodes)
        node->stopPump();
    g_object_unref(testbed);
}

bool HidrawTestbed::preloaded()
{
    return umockdev_in_mock_environment();
}

bool HidrawTestbed::announced(const QStringList &seen, const std::string &path)
{
    const QString text = QString::fromStdString(path);
    const bool heard = QTest::qWaitFor([&] { return seen.contains(text); }, AnnouncementTimeoutMs);
    // The windows' notifiers got theirs in the same pass: deliver them too.
    QCoreApplication::processEvents();
    return heard;
}

HidrawNode *HidrawTestbed::plug(const NodeConfig &config)
{
    if (!witness) {
        // The first notifier starts the backend's udev monitor, before any device.
        witness = std::make_unique<DeviceNotifier>(hidplatform::nativeBackend());
        QObject::connect(witness.get(), &DeviceNotifier::arrived,
                         [this](const QString &path) { arrivals << path; });
        QObject::connect(witness.get(), &DeviceNotifier::removed,
                         [this](const QString &path) { removals << path; });
    }
    const int index = nextIndex++;
    auto node = std::make_unique<HidrawNode>(index, config);
    GError *error = nullptr;
    if (!succeeded(umockdev_testbed_add_from_string(
                       testbed, sysfsText(*node, config, index).c_str(), &error),
                   error, "adding the device"))
        return nullptr;
    if (config.withNode) {
        if (!succeeded(
                umockdev_testbed_attach_ioctl(testbed, node->node.c_str(), node->handler(), &error),
                error, "attaching the ioctl handler"))
            return nullptr;
        node->connect(umockdev_testbed_get_dev_fd(testbed, node->node.c_str()));
    }
    HidrawNode *plugged = node.get();
    nodes.push_back(std::move(node));
    present.push_back(plugged);
    return announced(arrivals, plugged->path) ? plugged : nullptr;
}

bool HidrawTestbed::unplug(HidrawNode *node)
{
    // As the kernel does it: the node fails first, then udev tells the rest.
    node->fail();
    umockdev_testbed_uevent(testbed, node->syspath.c_str(), "remove");
    const bool heard = announced(removals, node->path);
    umockdev_testbed_remove_device(testbed, node->syspath.c_str());
    const std::string parent = node->syspath.substr(0, node->syspath.find("/hidraw/"));
    umockdev_testbed_remove_device(testbed, parent.c_str());
    present.erase(std::remove(present.begin(), present.end(), node), present.end());
    return heard;
}

bool HidrawTestbed::unplugAll()
{
    bool heard = true;
    while (!present.empty())
        heard = unplug(present.back()) && heard;
    return heard;
}

std::string HidrawTestbed::root() const
{
    return umockdev_testbed_get_root_dir(testbed);
}
