#pragma once
// The least a data connection must deliver to be worth waiting for.

class ThroughputFloor
{
public:
    ThroughputFloor(int minBytesPerSecond, int windowMs);

    // nowMs from a steady clock, totalBytes received so far. False once a whole window has
    // passed with less than the floor's average over it.
    bool Holds(long long nowMs, long long totalBytes);

private:
    long long minBytesPerWindow;
    long long windowMs;
    long long windowStartMs = -1;
    long long windowStartBytes = 0;
};
