#pragma once
// What a device connection needs of a reader thread, whichever program's it is.

#include <hidlink/platform/hidplatform.h>

#include <QThread>

class ReaderThread : public QThread
{
public:
    using QThread::QThread;

    // Reads through `handle` from now on; an invalid one leaves the reader's as it was.
    virtual void follow(hidplatform::Handle handle, bool deviceFound) = 0;
    // Pauses or resumes reading; a reader made for one arrival leaves its loop when paused.
    virtual void setRunning(bool running) = 0;
    // Ends the loop at once, a read in progress too, and joins the thread.
    virtual void finish() = 0;
};
