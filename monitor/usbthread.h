#pragma once
// The monitor's reader: reads input reports, decodes them itself and hands the
// results to the window through three queued signals. One reader lives as long as
// the window; removal and arrival of the device only pause and resume it.

#include <hidlink/readerthread.h>
#include <hidlink/readgate.h>

#include <QBitArray>
#include <QByteArray>
#include <QThread>
#include <atomic>

// In a namespace of its own: the updater's reader in hidlink has the same class name.
namespace monitor {

class USBThread : public ReaderThread
{
    Q_OBJECT
public:
    USBThread(hidplatform::Backend &backend, hidplatform::Handle hReadHandle, bool MyDevFound,
              QObject *parent = nullptr);
    // Ends the loop, also a read in progress, and joins the thread.
    ~USBThread() override;

    void follow(hidplatform::Handle handle, bool deviceFound) override
    {
        Slot_init(handle, deviceFound);
    }
    void setRunning(bool running) override { StopOrStart(running); }
    void finish() override;

signals:
    void ReportDataBuffer(int data);
    void ReportDataBuffer800a(QByteArray data);
    void ReportDataBufferLed(QBitArray data);

public slots:
    void StopOrStart(bool blstius);
    void SetFlushFile(bool flush);
    // An invalid handle leaves the handle and the found flag as they were.
    void Slot_init(hidplatform::Handle hReadHandle, bool MyDevFound);

protected:
    void run() override;

private:
    void dispatch(const QByteArray &report);

    ReadGate gate;
    std::atomic<bool> flushFile{false};
    QByteArray valueReport;
    QBitArray LedBitArray{2};
};

} // namespace monitor
