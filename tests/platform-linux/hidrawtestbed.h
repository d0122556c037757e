#pragma once
// The hidraw devices of one test program: a umockdev testbed (one per process) whose
// devices are plugged in and pulled out through udev as the kernel does it, with
// the emulator's device model behind each node.

#include "hidrawnode.h"

#include <QStringList>
#include <memory>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
class DeviceNotifier;

class HidrawTestbed
{
public:
    HidrawTestbed();
    ~HidrawTestbed();
    HidrawTestbed(const HidrawTestbed &) = delete;
    HidrawTestbed &operator=(const HidrawTestbed &) = delete;

    static bool preloaded();
    static const char *const NoPreload;

    // A hid device with its hidraw node, announced with udev's "add". Returns once the
    // announcement has reached the GUI thread; nullptr when umockdev refused it.
    HidrawNode *plug(const NodeConfig &config = NodeConfig());
    // The device goes: its node fails, udev announces "remove", and sysfs forgets it.
    // False when the announcement did not reach the GUI thread.
    bool unplug(HidrawNode *node);
    bool unplugAll();
    std::string root() const;

private:
    bool announced(const QStringList &seen, const std::string &path);

    UMockdevTestbed *testbed = nullptr;
    // Hears the announcements as every window's notifier does, in the same pass.
    std::unique_ptr<DeviceNotifier> witness;
    QStringList arrivals;
    QStringList removals;
    int nextIndex = 0; // umockdev cannot add a node name twice
    std::vector<std::unique_ptr<HidrawNode>> nodes;
    std::vector<HidrawNode *> present;
};
