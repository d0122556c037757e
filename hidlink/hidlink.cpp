#include <hidlink/hidlink.h>

#include <hidlink/deviceidentity.h>

#include <algorithm>

HidLink::HidLink(hidplatform::Backend &backend, int vendorId, int productId)
    : vendorId(vendorId), productId(productId), vendorIdText(deviceidentity::idText(vendorId)),
      productIdText(deviceidentity::idText(productId)), os(backend)
{
}

int HidLink::OpenUSBHandle()
{
    const std::vector<hidplatform::DeviceInfo> present = os.enumerate();
    const auto ours = std::find_if(present.begin(), present.end(), [this](const auto &info) {
        return info.vendorId == vendorId && info.productId == productId;
    });
    return open(ours == present.end() ? nullptr : &*ours);
}

int HidLink::openPath(const std::string &wanted)
{
    const std::vector<hidplatform::DeviceInfo> present = os.enumerate();
    const auto ours = std::find_if(present.begin(), present.end(), [&](const auto &info) {
        return info.path == wanted && info.vendorId == vendorId && info.productId == productId;
    });
    return open(ours == present.end() ? nullptr : &*ours);
}

int HidLink::open(const hidplatform::DeviceInfo *info)
{
    // A write handle from an earlier search belongs to a device that is gone or is
    // about to be opened again; closing it keeps handles from piling up on replugs.
    // A read handle still held here has no reader left (a reader's handle is closed
    // or taken before a new search).
    writeOwned.reset();
    readOwned.reset();
    found = info != nullptr;
    hidCaps = hidplatform::Caps();
    if (!found)
        return -1;
    path = info->path;
    readOwned = hidplatform::OwnedHandle(os, os.openRead(info->path));
    writeOwned = hidplatform::OwnedHandle(os, os.openWrite(info->path));
    // A new write handle has no write pending on it; without this a single refused
    // write before a replug would silence the device for good.
    sendBusy = false;
    const hidplatform::Handle any = writeOwned.valid() ? writeHandle() : readHandle();
    if (any != hidplatform::InvalidHandle)
        os.caps(any, &hidCaps);
    return 0;
}

int HidLink::SendDataToUsb(const std::uint8_t *command, Refusal *why)
{
    Refusal refusal = Refusal::None;
    if (!found)
        refusal = Refusal::DeviceNotFound;
    else if (!writeOwned.valid())
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
    std::copy_n(command, std::min(length, std::size_t(reportlengths::Command)), report.begin());
    writtenLength = static_cast<int>(length);
    if (!os.setFeature(writeHandle(), report.data(), length))
        return 0;
    sendBusy = false;
    return 1;
}

void HidLink::closeReadHandle()
{
    readOwned.reset();
}

hidplatform::OwnedHandle HidLink::takeReadHandle()
{
    return std::move(readOwned);
}

void HidLink::keepReadHandle(hidplatform::OwnedHandle handle)
{
    if (!readOwned.valid())
        readOwned = std::move(handle);
}
