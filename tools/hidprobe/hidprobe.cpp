// Lists the HID interfaces the platform layer sees, and for those with the given ids
// their report lengths and first input report: a quick look at what the tools will
// find on this machine.
// Usage: hidprobe [vendor-hex product-hex]   (default 0483 0526)

#include <hidlink/platform/hidplatform.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    unsigned long vendorId = 0x0483;
    unsigned long productId = 0x0526;
    if (argc == 3) {
        vendorId = std::strtoul(argv[1], nullptr, 16);
        productId = std::strtoul(argv[2], nullptr, 16);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [vendor-hex product-hex]\n", argv[0]);
        return 2;
    }

    hidplatform::Backend &backend = hidplatform::nativeBackend();
    const std::vector<hidplatform::DeviceInfo> devices = backend.enumerate();
    int matches = 0;
    for (const hidplatform::DeviceInfo &device : devices) {
        std::printf("%04x:%04x %s\n", device.vendorId, device.productId, device.path.c_str());
        if (device.vendorId != vendorId || device.productId != productId)
            continue;
        ++matches;
        const hidplatform::Handle handle = backend.openWrite(device.path);
        hidplatform::Caps caps;
        if (handle == hidplatform::InvalidHandle) {
            std::printf("  cannot open for writing\n");
        } else if (backend.caps(handle, &caps)) {
            std::printf("  input %u, output %u, feature %u bytes\n", caps.inputReportByteLength,
                        caps.outputReportByteLength, caps.featureReportByteLength);
        } else {
            std::printf("  capabilities unreadable\n");
        }
        backend.close(handle);

        const hidplatform::Handle reader = backend.openRead(device.path);
        std::uint8_t report[64] = {};
        std::size_t length = 0;
        switch (reader == hidplatform::InvalidHandle
                    ? hidplatform::ReadResult::Failed
                    : backend.read(reader, report, sizeof report, 1000, &length)) {
        case hidplatform::ReadResult::Ok:
            std::printf("  input report:");
            for (std::size_t i = 0; i < length; ++i)
                std::printf(" %02x", report[i]);
            std::printf("\n");
            break;
        case hidplatform::ReadResult::TimedOut:
            std::printf("  no input report within 1 s\n");
            break;
        case hidplatform::ReadResult::Failed:
            std::printf("  cannot read\n");
            break;
        }
        backend.close(reader);
    }
    std::printf("%zu interfaces, %d with %04lx:%04lx\n", devices.size(), matches, vendorId,
                productId);
    return 0;
}
