#include <monitor/usbthread.h>

#include <hidlink/hidlog.h>
#include <monitor/monitorreports.h>

namespace monitor {

USBThread::USBThread(hidplatform::Backend &backend, hidplatform::Handle hReadHandle,
                     bool MyDevFound, QObject *parent)
    : ReaderThread(parent), gate(backend)
{
    Slot_init(hReadHandle, MyDevFound);
    gate.setRunning(true);
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

void USBThread::StopOrStart(bool blstius)
{
    gate.setRunning(blstius);
}

void USBThread::SetFlushFile(bool flush)
{
    flushFile.store(flush);
}

void USBThread::Slot_init(hidplatform::Handle hReadHandle, bool MyDevFound)
{
    if (hReadHandle == hidplatform::InvalidHandle)
        return;
    gate.setHandle(hReadHandle);
    // Kept as the found flag; the loop waits for a handle and the run flag only.
    gate.setLinkUp(MyDevFound);
}

void USBThread::run()
{
    for (;;) {
        // Sleeps while stopped or without a handle; invalid only when shut down.
        const hidplatform::Handle handle = gate.waitForWork(false, false);
        if (handle == hidplatform::InvalidHandle)
            return;
        // Cleared before every read: a failed or short read leaves zeros, which
        // match no report kind.
        std::uint8_t buffer[reportlengths::Input] = {};
        std::size_t transferred = 0;
        if (gate.read(handle, buffer, sizeof buffer, &transferred) == hidplatform::ReadResult::Ok)
            dispatch(QByteArray(reinterpret_cast<const char *>(buffer), sizeof buffer));
    }
}

void USBThread::dispatch(const QByteArray &report)
{
    switch (monitorreports::kindOf(report)) {
    case monitorreports::Kind::Status: {
        const monitorreports::Status status = monitorreports::decodeStatus(report);
        emit ReportDataBuffer(status.value);
        LedBitArray = status.lamps;
        emit ReportDataBufferLed(LedBitArray);
        qCDebug(lcReports) << "LedBitArray>>>>>>>" << LedBitArray;
        break;
    }
    case monitorreports::Kind::Values:
        valueReport = report;
        emit ReportDataBuffer800a(valueReport);
        break;
    case monitorreports::Kind::Other:
        break;
    }
}

} // namespace monitor
