#pragma once
// The updater's reader: posts every input report with report id 0x80 to its window
// as a USBEvent; the window takes every decision.

#include <hidlink/readgate.h>

#include <QByteArray>
#include <QThread>

class USBThread : public QThread
{
    Q_OBJECT
public:
    USBThread(QObject *w, hidplatform::Handle hReadHandle, bool MyDevFound,
              QObject *parent = nullptr);
    // Ends the thread and waits for it: a reader never outlives its object.
    ~USBThread() override;

    // Ends the loop at once, also a read in progress, and joins the thread.
    void finish();

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
