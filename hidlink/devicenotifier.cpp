#include <hidlink/devicenotifier.h>

#include <QCoreApplication>
#include <QEvent>
#include <mutex>
#include <set>

namespace {

class ChangeEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(QEvent::User + 2);
    ChangeEvent(hidplatform::DeviceChange change, QString path)
        : QEvent(EventType), change(change), path(std::move(path))
    {
    }
    const hidplatform::DeviceChange change;
    const QString path;
};

// Live notifiers; the backend's handler may run on any thread, so it posts only to
// notifiers still registered here (a destroyed one also loses its posted events).
std::mutex registryMutex;
std::set<DeviceNotifier *> registry;

void relay(hidplatform::DeviceChange change, const std::string &path)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    for (DeviceNotifier *notifier : registry)
        QCoreApplication::postEvent(notifier,
                                    new ChangeEvent(change, QString::fromStdString(path)));
}

} // namespace

DeviceNotifier::DeviceNotifier(QObject *parent) : QObject(parent)
{
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        registry.insert(this);
    }
    hidplatform::backend().setChangeHandler(relay);
}

DeviceNotifier::~DeviceNotifier()
{
    std::lock_guard<std::mutex> lock(registryMutex);
    registry.erase(this);
}

int DeviceNotifier::registerWindow(void *nativeWindow)
{
    return hidplatform::registerDeviceNotifications(nativeWindow);
}

void DeviceNotifier::handleNativeEvent(const QByteArray &eventType, void *message)
{
    if (eventType != "windows_generic_MSG")
        return;
    hidplatform::DeviceChange change;
    std::string path;
    if (!hidplatform::decodeDeviceChange(message, &change, &path))
        return;
    const QString text = QString::fromStdString(path);
    if (change == hidplatform::DeviceChange::Arrival)
        emit arrived(text);
    else
        emit removed(text);
}

void DeviceNotifier::customEvent(QEvent *event)
{
    if (event->type() != ChangeEvent::EventType)
        return;
    const auto *change = static_cast<ChangeEvent *>(event);
    if (change->change == hidplatform::DeviceChange::Arrival)
        emit arrived(change->path);
    else
        emit removed(change->path);
}
