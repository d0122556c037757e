#pragma once
// Brings HID interface arrivals and removals to the GUI thread as a signal, from
// whichever source the platform has: the backend's own handler (Linux, emulator) or
// the window's native messages (Windows).

#include <hidlink/platform/hidplatform.h>

#include <QObject>
#include <QString>

class DeviceNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DeviceNotifier(hidplatform::Backend &backend, QObject *parent = nullptr);
    ~DeviceNotifier() override;

    // Registers `nativeWindow` for the system's notifications (see USBRegistration).
    int registerWindow(void *nativeWindow);
    // Feeds one native message from a window's nativeEvent; emits when it is a
    // device interface change.
    void handleNativeEvent(const QByteArray &eventType, void *message);

signals:
    void arrived(const QString &path);
    void removed(const QString &path);

protected:
    void customEvent(QEvent *event) override;

private:
    hidplatform::Backend &os;
    const int token;
};
