#pragma once
// What a reader thread waits on: its run flag, the link flag and its read handle,
// all written by the GUI thread. The reader sleeps on a condition variable instead
// of polling them, and a read in progress can be ended from outside.

#include <hidlink/platform/hidplatform.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

class ReadGate
{
public:
    explicit ReadGate(hidplatform::Backend &backend) : os(backend) {}

    // Takes `handle` unless it is invalid (then nothing changes).
    void setHandle(hidplatform::Handle handle);
    void setRunning(bool running);
    void setLinkUp(bool linkUp);
    bool running() const { return runningFlag.load(); }
    bool linkUp() const { return linkUpFlag.load(); }
    hidplatform::Handle handle() const { return readHandle.load(); }

    // For good: wakes the reader and ends a read pending on its handle.
    void shutdown();
    bool shutDown() const { return exitFlag.load(); }

    // Blocks until the reader may read (running, link up when `needLinkUp`, a valid
    // handle) and returns the handle. Returns InvalidHandle when the reader must
    // leave: after shutdown, or when `leaveWhenStopped` and it is not running.
    hidplatform::Handle waitForWork(bool needLinkUp, bool leaveWhenStopped);

    // One read of up to `length` bytes. A read that fails at once (a device pulled
    // out before anyone noticed) is followed by a short pause so that a dead handle
    // cannot make the reader spin.
    hidplatform::ReadResult read(hidplatform::Handle handle, std::uint8_t *buffer,
                                 std::size_t length, std::size_t *transferred);

private:
    void wake();

    hidplatform::Backend &os;
    std::atomic<bool> runningFlag{false};
    std::atomic<bool> linkUpFlag{false};
    std::atomic<bool> exitFlag{false};
    std::atomic<hidplatform::Handle> readHandle{hidplatform::InvalidHandle};
    std::mutex mutex;
    std::condition_variable changed;
};
