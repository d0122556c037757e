#pragma once
// The link to one HID device: finding and opening it, its capabilities, and the
// writer of feature reports with its write-pending rule.

#include "hidplatform.h"

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
        WritePending
    };

    HidLink(int vendorId, int productId);

    // Finds the first present interface with both ids and opens it for reading and
    // writing. 0 when found, -1 otherwise.
    int OpenUSBHandle();

    // Commands are this long, report id included.
    static constexpr std::size_t CommandLength = 11;

    // Writes `command` (CommandLength bytes, zero-padded or cut to the device's
    // feature report length) as one feature report: 1 sent, 0 refused by the driver,
    // -1 nothing written.
    int SendDataToUsb(const std::uint8_t *command, Refusal *why = nullptr);

    // Closes the read handle, if any, which also ends a read pending on it.
    void closeReadHandle();

    const int vendorId;
    const int productId;
    const QString vendorIdText;
    const QString productIdText;

    bool deviceFound = false;
    hidplatform::Handle readHandle = hidplatform::InvalidHandle;
    hidplatform::Handle writeHandle = hidplatform::InvalidHandle;
    hidplatform::Caps hidCaps;
    bool sendBusy = false;
    std::string devicePath;
    // Length of the last report handed to the driver (for the monitor's debug line).
    int lastWriteLength = 0;

private:
    std::vector<std::uint8_t> report; // reused, so that a write allocates nothing
};
