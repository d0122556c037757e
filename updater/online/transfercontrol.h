#pragma once
// What a transfer shares with the thread that waits for it: a cancel request, and where
// it reports its progress. Qt-free, so the FTP client and the URL fetch take it as is.

#include <atomic>
#include <functional>

struct TransferControl
{
    std::atomic<bool> cancelled{false};
    // Bytes received so far and the expected total (0 when unknown); called on the
    // transferring thread.
    std::function<void(long long received, long long expected)> progress;

    void report(long long received, long long expected) const
    {
        if (progress)
            progress(received, expected);
    }
};
