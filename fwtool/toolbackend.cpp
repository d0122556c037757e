#include <fwtool/toolbackend.h>

#include <hidlink/deviceids.h>

#include <algorithm>

#ifdef RIVET_WITH_EMULATOR
#include <emulator/environment.h>
#endif

namespace fwtool {

hidplatform::Backend &toolBackend()
{
#ifdef RIVET_WITH_EMULATOR
    return emulator::backendFromEnvironment();
#else
    return hidplatform::nativeBackend();
#endif
}

std::vector<std::string> matchingDevices(hidplatform::Backend &backend, int productId)
{
    std::vector<std::string> paths;
    for (const hidplatform::DeviceInfo &info : backend.enumerate()) {
        if (info.vendorId == deviceids::VendorId && info.productId == productId)
            paths.push_back(info.path);
    }
    std::sort(paths.begin(), paths.end());
    // Some systems list one interface twice.
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

} // namespace fwtool
