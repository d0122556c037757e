#pragma once
// The update reader: posts every input report with report id 0x80 to its listener
// as a USBEvent; the listener takes every decision.

#include <hidlink/readerthread.h>
#include <hidlink/readgate.h>

#include <QByteArray>
#include <QThread>

class USBThread : public ReaderThread
{
    Q_OBJECT
public:
    USBThread(hidplatform::Backend &backend, QObject *w, hidplatform::Handle hReadHandle,
              bool MyDevFound, QObject *parent = nullptr);
    // Ends the thread and waits for it: a reader never outlives its object.
    ~USBThread() override;

    void follow(hidplatform::Handle handle, bool deviceFound) override;
    void setRunning(bool running) override { StopOrStart(running); }
    void finish() override;

public slots:
    void Slot_init(QObject *w, hidplatform::Handle hReadHandle, bool MyDevFound);
    void StopOrStart(bool blstius);
    void SetFlushFile(bool flush);

signals:
    void ReportDataBuffer(QByteArray ReportByteArray);

protected:
    void run() override;

private:
    QObject *const window;
    ReadGate gate;
    std::atomic<bool> flushFile{false};
};
