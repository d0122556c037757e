#include <updater/online/throughputfloor.h>

ThroughputFloor::ThroughputFloor(int minBytesPerSecond, int window)
    : minBytesPerWindow(static_cast<long long>(minBytesPerSecond) * window / 1000), windowMs(window)
{
}

bool ThroughputFloor::Holds(long long nowMs, long long totalBytes)
{
    if (windowStartMs < 0) {
        windowStartMs = nowMs;
        windowStartBytes = totalBytes;
    }
    if (nowMs - windowStartMs < windowMs)
        return true;
    if (totalBytes - windowStartBytes < minBytesPerWindow)
        return false;
    windowStartMs = nowMs;
    windowStartBytes = totalBytes;
    return true;
}
