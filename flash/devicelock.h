#pragma once
// An exclusive lock on one device across the processes of this machine, keyed by the
// device's interface path, so that no second program of ours writes into an update.
// The operating system drops it with the process: a killed program leaves no lock.
// The lock files live in RIVET_LOCK_DIR when that is set, else in the temporary folder.

#include <QString>
#include <cstdint>
#include <string>

namespace flash {

class DeviceLock
{
public:
    explicit DeviceLock(const std::string &devicePath);
    ~DeviceLock();
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

    // True when this object holds the lock now (also when it already did).
    bool tryAcquire();
    void release();
    bool held() const { return handle != NoHandle; }
    // True when another holder (another process, another object) has the lock now.
    bool heldElsewhere() const;

    // The lock file for a device path.
    static QString filePath(const std::string &devicePath);

private:
    static constexpr std::intptr_t NoHandle = -1;
    const QString file;
    std::intptr_t handle = NoHandle;
};

} // namespace flash
