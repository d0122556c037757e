#pragma once
// The link to one HID device: finding and opening it, its capabilities, and the
// writer of feature reports with its write-pending rule.

#include <hidlink/platform/hidplatform.h>
#include <hidlink/reportlengths.h>

#include <QByteArray>
#include <QString>
#include <vector>

class HidLink
{
public:
    // Why SendDataToUsb wrote nothing.
    enum class Refusal
    {
        None,
        DeviceNotFound,
        NoWriteHandle,
        WritePending,
        // Another program is updating the device (see DeviceConnection).
        DeviceBusy
    };

    HidLink(hidplatform::Backend &backend, int vendorId, int productId);
    HidLink(const HidLink &) = delete;
    HidLink &operator=(const HidLink &) = delete;

    // Finds the first present interface with both ids and opens it for reading and
    // writing. 0 when found, -1 otherwise.
    int OpenUSBHandle();
    // The same for the interface at `path` only, when it is present and has both ids.
    int openPath(const std::string &path);

    // Writes `command` (reportlengths::Command bytes, zero-padded or cut to the device's
    // feature report length) as one feature report: 1 sent, 0 refused by the driver,
    // -1 nothing written.
    int SendDataToUsb(const std::uint8_t *command, Refusal *why = nullptr);

    // Closes the read handle, if any, which also ends a read pending on it.
    void closeReadHandle();
    // Hands the read handle over before a new search, for a reader that still reads
    // through it, and keeps it back (when no new one could be opened) with keepReadHandle.
    hidplatform::OwnedHandle takeReadHandle();
    void keepReadHandle(hidplatform::OwnedHandle handle);

    const int vendorId;
    const int productId;
    const QString vendorIdText;
    const QString productIdText;

    // The open handles; both close when the link goes.
    hidplatform::Handle readHandle() const { return readOwned.get(); }
    hidplatform::Handle writeHandle() const { return writeOwned.get(); }

    hidplatform::Backend &platform() const { return os; }
    bool deviceFound() const { return found; }
    const hidplatform::Caps &caps() const { return hidCaps; }
    const std::string &devicePath() const { return path; }
    // Length of the last report handed to the driver (for the monitor's debug line).
    int lastWriteLength() const { return writtenLength; }

private:
    int open(const hidplatform::DeviceInfo *info);

    hidplatform::Backend &os;
    bool found = false;
    hidplatform::Caps hidCaps;
    bool sendBusy = false;
    std::string path;
    int writtenLength = 0;
    hidplatform::OwnedHandle readOwned;
    hidplatform::OwnedHandle writeOwned;
    std::vector<std::uint8_t> report; // reused, so that a write allocates nothing
};
