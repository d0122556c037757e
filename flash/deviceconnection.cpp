#include <flash/deviceconnection.h>

#include <flash/usbthread.h>
#include <hidlink/deviceidentity.h>
#include <hidlink/devicenotifier.h>
#include <hidlink/hidlog.h>

namespace flash {

DeviceConnection::DeviceConnection(hidplatform::Backend &backend, int vendorId, int productId,
                                   QObject *parent)
    : QObject(parent), usbLink(backend, vendorId, productId),
      notifier(new DeviceNotifier(backend, this))
{
    connect(notifier, &DeviceNotifier::arrived, this, &DeviceConnection::onArrival);
    connect(notifier, &DeviceNotifier::removed, this, &DeviceConnection::onRemoval);
}

DeviceConnection::~DeviceConnection()
{
    closeReading();
}

void DeviceConnection::setListener(QObject *target)
{
    listener = target;
}

void DeviceConnection::setLifelongReader(ReaderFactory factory)
{
    lifelong = std::move(factory);
}

void DeviceConnection::bindTo(const std::string &path)
{
    boundPath = path;
}

int DeviceConnection::open()
{
    const int result = reopen();
    if (result == 0)
        startReader();
    return result;
}

int DeviceConnection::reopen()
{
    return boundPath.empty() ? usbLink.OpenUSBHandle() : usbLink.openPath(boundPath);
}

void DeviceConnection::startReader()
{
    if (lifelong) {
        if (current) {
            current->follow(usbLink.readHandle(), usbLink.deviceFound());
            current->setRunning(true);
            return;
        }
        current = lifelong(usbLink.readHandle(), usbLink.deviceFound(), this);
    } else {
        current = new USBThread(usbLink.platform(), listener, usbLink.readHandle(),
                                usbLink.deviceFound(), this);
        // A reader stopped on removal or replaced on arrival goes once it has ended, so
        // that replugs leave no dead readers behind.
        connect(current, &QThread::finished, current, &QObject::deleteLater);
    }
    current->setRunning(true);
    current->start(QThread::InheritPriority);
}

void DeviceConnection::closeReading()
{
    // Closing the read handle ends every pending read, so the joins are immediate.
    usbLink.closeReadHandle();
    for (ReaderThread *reader : findChildren<ReaderThread *>())
        reader->finish();
}

bool DeviceConnection::concerns(const QString &path) const
{
    if (!boundPath.empty())
        return path.compare(QString::fromStdString(boundPath), Qt::CaseInsensitive) == 0;
    return deviceidentity::pathMatches(path, usbLink.vendorIdText, usbLink.productIdText);
}

void DeviceConnection::onArrival(const QString &path)
{
    if (deviceInserted || !concerns(path))
        return;
    qCDebug(lcHid) << "insert my Hid";
    deviceInserted = true;
    deviceRemoved = false;
    if (lifelong) {
        // The reader may still read through the old handle until it has the new one;
        // when no new one can be opened it keeps the old one, and so does the link.
        hidplatform::OwnedHandle old = usbLink.takeReadHandle();
        reopen();
        startReader();
        if (usbLink.readHandle() == hidplatform::InvalidHandle)
            usbLink.keepReadHandle(std::move(old));
    } else {
        // Two readers would deliver every report twice: the one running (the first
        // after a start with the device present) is replaced.
        if (current)
            current->setRunning(false);
        current = nullptr;
        usbLink.closeReadHandle();
        reopen();
        startReader();
    }
    emit arrived();
}

void DeviceConnection::onRemoval(const QString &path)
{
    if (deviceRemoved || !concerns(path))
        return;
    qCDebug(lcHid) << "remove my Hid";
    deviceInserted = false;
    deviceRemoved = true;
    if (current)
        current->setRunning(false);
    if (!lifelong) {
        current = nullptr;
        usbLink.closeReadHandle();
    }
    emit removed();
}

DeviceLock *DeviceConnection::lockFor()
{
    if (lock && lock->held())
        return lock.get();
    if (!usbLink.deviceFound())
        return nullptr;
    if (!lock || lockedPath != usbLink.devicePath()) {
        lockedPath = usbLink.devicePath();
        lock = std::make_unique<DeviceLock>(lockedPath);
    }
    return lock.get();
}

DeviceConnection::LockResult DeviceConnection::acquireUpdateLock()
{
    DeviceLock *const device = lockFor();
    if (!device)
        return LockResult::NoDevice;
    return device->tryAcquire() ? LockResult::Held : LockResult::Busy;
}

void DeviceConnection::releaseUpdateLock()
{
    if (lock)
        lock->release();
}

bool DeviceConnection::updateLockedElsewhere() const
{
    if (!usbLink.deviceFound())
        return false;
    if (lock && lock->held())
        return false;
    return DeviceLock(usbLink.devicePath()).heldElsewhere();
}

int DeviceConnection::send(const std::uint8_t *command, HidLink::Refusal *why)
{
    if (updateLockedElsewhere()) {
        if (why)
            *why = HidLink::Refusal::DeviceBusy;
        return -1;
    }
    return usbLink.SendDataToUsb(command, why);
}

int DeviceConnection::registerWindow(void *nativeWindow)
{
    return notifier->registerWindow(nativeWindow);
}

void DeviceConnection::handleNativeEvent(const QByteArray &eventType, void *message)
{
    notifier->handleNativeEvent(eventType, message);
}

} // namespace flash
