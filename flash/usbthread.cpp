#include <flash/usbthread.h>

#include <flash/usbevent.h>
#include <hidlink/reportlengths.h>

#include <QCoreApplication>

USBThread::USBThread(hidplatform::Backend &backend, QObject *w, hidplatform::Handle hReadHandle,
                     bool MyDevFound, QObject *parent)
    : ReaderThread(parent), window(w), gate(backend)
{
    Slot_init(w, hReadHandle, MyDevFound);
}

void USBThread::follow(hidplatform::Handle handle, bool deviceFound)
{
    Slot_init(window, handle, deviceFound);
}

USBThread::~USBThread()
{
    finish();
}

void USBThread::finish()
{
    gate.shutdown();
    wait();
}

void USBThread::Slot_init(QObject *, hidplatform::Handle hReadHandle, bool MyDevFound)
{
    if (hReadHandle == hidplatform::InvalidHandle)
        return;
    gate.setHandle(hReadHandle);
    gate.setLinkUp(MyDevFound);
}

void USBThread::StopOrStart(bool blstius)
{
    gate.setRunning(blstius);
    gate.setLinkUp(blstius);
}

void USBThread::SetFlushFile(bool flush)
{
    flushFile.store(flush);
}

void USBThread::run()
{
    if (!gate.running())
        return;
    for (;;) {
        const hidplatform::Handle handle = gate.waitForWork(true, true);
        if (handle == hidplatform::InvalidHandle)
            return;
        // Cleared before every read: a short report leaves the rest zero.
        std::uint8_t buffer[reportlengths::Input] = {};
        std::size_t transferred = 0;
        if (gate.read(handle, buffer, sizeof buffer, &transferred) == hidplatform::ReadResult::Ok &&
            buffer[0] == 0x80) {
            QCoreApplication::postEvent(
                window,
                new USBEvent(QByteArray(reinterpret_cast<const char *>(buffer), sizeof buffer)));
        }
        if (!gate.running())
            return;
    }
}
