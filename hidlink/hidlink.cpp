#include "hidlink.h"

#include "deviceidentity.h"

#include <algorithm>

HidLink::HidLink(int vendorId, int productId)
    : vendorId(vendorId), productId(productId), vendorIdText(deviceidentity::idText(vendorId)),
      productIdText(deviceidentity::idText(productId))
{
}

int HidLink::OpenUSBHandle()
{
    hidplatform::Backend &backend = hidplatform::backend();
    // A write handle from an earlier search belongs to a device that is gone or is
    // about to be opened again; closing it keeps handles from piling up on replugs.
    if (writeHandle != hidplatform::InvalidHandle)
        backend.close(writeHandle);
    deviceFound = false;
    readHandle = hidplatform::InvalidHandle;
    writeHandle = hidplatform::InvalidHandle;

    for (const hidplatform::DeviceInfo &info : backend.enumerate()) {
        if (info.vendorId != vendorId || info.productId != productId)
            continue;
        deviceFound = true;
        devicePath = info.path;
        readHandle = backend.openRead(info.path);
        writeHandle = backend.openWrite(info.path);
        // A new write handle has no write pending on it; without this a single
        // refused write before a replug would silence the device for good.
        sendBusy = false;
        break;
    }
    if (!deviceFound)
        return -1;

    hidCaps = hidplatform::Caps();
    const hidplatform::Handle any =
        writeHandle != hidplatform::InvalidHandle ? writeHandle : readHandle;
    if (any != hidplatform::InvalidHandle)
        backend.caps(any, &hidCaps);
    return 0;
}

int HidLink::SendDataToUsb(const std::uint8_t *command, Refusal *why)
{
    Refusal refusal = Refusal::None;
    if (!deviceFound)
        refusal = Refusal::DeviceNotFound;
    else if (writeHandle == hidplatform::InvalidHandle)
        refusal = Refusal::NoWriteHandle;
    else if (sendBusy)
        refusal = Refusal::WritePending;
    if (why)
        *why = refusal;
    if (refusal != Refusal::None)
        return -1;

    sendBusy = true;
    const std::size_t length = hidCaps.featureReportByteLength;
    report.assign(length, 0);
    std::copy_n(command, std::min(length, CommandLength), report.begin());
    lastWriteLength = static_cast<int>(length);
    if (!hidplatform::backend().setFeature(writeHandle, report.data(), length))
        return 0;
    sendBusy = false;
    return 1;
}

void HidLink::closeReadHandle()
{
    if (readHandle == hidplatform::InvalidHandle)
        return;
    hidplatform::backend().close(readHandle);
    readHandle = hidplatform::InvalidHandle;
}
