#pragma once
// One program's hold on one device: the link with its handles, the reader thread,
// the device's arrival and removal, and the lock that keeps every other program of
// ours from writing while an update runs. Each program opens the device through one.

#include <flash/devicelock.h>
#include <hidlink/hidlink.h>
#include <hidlink/readerthread.h>

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class DeviceNotifier;

namespace flash {

class DeviceConnection : public QObject
{
    Q_OBJECT
public:
    // Makes the reader for an opened device; the connection owns it.
    using ReaderFactory =
        std::function<ReaderThread *(hidplatform::Handle handle, bool found, QObject *parent)>;

    DeviceConnection(hidplatform::Backend &backend, int vendorId, int productId,
                     QObject *parent = nullptr);
    // Ends and joins every reader it made.
    ~DeviceConnection() override;

    // Each input report with report id 0x80 goes to `listener` as a USBEvent; a new
    // reader is made for every arrival and the old one left to end. The listener must
    // outlive the readers: closeReading() before it goes.
    void setListener(QObject *listener);
    // A reader of the program's own instead, kept for the connection's life and
    // paused while the device is away.
    void setLifelongReader(ReaderFactory factory);

    // Opens the first device with the ids (or, once `bindTo` was called, that one)
    // and starts its reader. 0 when found, -1 otherwise.
    int open();
    // From now on only the device at `path` counts: its arrival, its removal, its lock.
    void bindTo(const std::string &path);
    // Closes the read handle and ends every reader; writes stay possible.
    void closeReading();

    // Writes one command as HidLink does, but refuses (DeviceBusy, nothing written)
    // while another program holds the device's update lock.
    int send(const std::uint8_t *command, HidLink::Refusal *why = nullptr);

    enum class LockResult
    {
        Held,
        NoDevice, // nothing to lock: the writes themselves will say why
        Busy,     // another program is updating the device
    };
    LockResult acquireUpdateLock();
    void releaseUpdateLock();
    bool updateLockedElsewhere() const;

    const HidLink &link() const { return usbLink; }
    // The reader running now, if any.
    ReaderThread *reader() const { return current; }

    // Windows brings arrivals and removals as window messages.
    int registerWindow(void *nativeWindow);
    void handleNativeEvent(const QByteArray &eventType, void *message);

signals:
    // The device came and was opened again (whether or not the open succeeded).
    void arrived();
    void removed();

private:
    void onArrival(const QString &path);
    void onRemoval(const QString &path);
    bool concerns(const QString &path) const;
    int reopen();
    void startReader();
    DeviceLock *lockFor();

    HidLink usbLink;
    DeviceNotifier *notifier;
    QObject *listener = nullptr;
    ReaderFactory lifelong;
    QPointer<ReaderThread> current;
    std::string boundPath;
    std::unique_ptr<DeviceLock> lock;
    std::string lockedPath;
    // Arrivals and removals are taken in turn: a second notice of either is ignored.
    bool deviceInserted = false;
    bool deviceRemoved = false;
};

} // namespace flash
