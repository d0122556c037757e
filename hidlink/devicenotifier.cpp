#include <hidlink/devicenotifier.h>

#include <QCoreApplication>
#include <QEvent>

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

} // namespace

DeviceNotifier::DeviceNotifier(hidplatform::Backend &backend, QObject *parent)
    : QObject(parent), os(backend),
      token(backend.addChangeHandler([this](hidplatform::DeviceChange change,
                                            const std::string &path) {
          QCoreApplication::postEvent(this, new ChangeEvent(change, QString::fromStdString(path)));
      }))
{
}

DeviceNotifier::~DeviceNotifier()
{
    // Once removed the handler is not running and never runs again; events it posted
    // go with this object.
    os.removeChangeHandler(token);
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
