#include <hidlink/readgate.h>

#include <chrono>

namespace {
// Long enough to cost nothing while idle, short enough that a stop never waits long
// even where a pending read cannot be cancelled.
constexpr int ReadTimeoutMs = 250;
constexpr int PauseAfterFailureMs = 20;
} // namespace

void ReadGate::setHandle(hidplatform::Handle handle)
{
    if (handle == hidplatform::InvalidHandle)
        return;
    readHandle.store(handle);
    wake();
}

void ReadGate::setRunning(bool running)
{
    runningFlag.store(running);
    wake();
}

void ReadGate::setLinkUp(bool linkUp)
{
    linkUpFlag.store(linkUp);
    wake();
}

void ReadGate::shutdown()
{
    exitFlag.store(true);
    runningFlag.store(false);
    wake();
    const hidplatform::Handle handle = readHandle.load();
    if (handle != hidplatform::InvalidHandle)
        os.cancelRead(handle);
}

void ReadGate::wake()
{
    // Taking the lock orders the flag change before a waiter's next check.
    std::lock_guard<std::mutex> lock(mutex);
    changed.notify_all();
}

hidplatform::Handle ReadGate::waitForWork(bool needLinkUp, bool leaveWhenStopped)
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (exitFlag.load())
            return hidplatform::InvalidHandle;
        const bool run = runningFlag.load();
        if (!run && leaveWhenStopped)
            return hidplatform::InvalidHandle;
        const hidplatform::Handle handle = readHandle.load();
        if (run && (!needLinkUp || linkUpFlag.load()) && handle != hidplatform::InvalidHandle)
            return handle;
        changed.wait(lock);
    }
}

hidplatform::ReadResult ReadGate::read(hidplatform::Handle handle, std::uint8_t *buffer,
                                       std::size_t length, std::size_t *transferred)
{
    const hidplatform::ReadResult result =
        os.read(handle, buffer, length, ReadTimeoutMs, transferred);
    if (result == hidplatform::ReadResult::Failed && !exitFlag.load()) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(PauseAfterFailureMs),
                         [this] { return exitFlag.load() || !runningFlag.load(); });
    }
    return result;
}
