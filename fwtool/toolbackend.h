#pragma once
// The device backend fwtool's device commands use, picked once per process.

#include <hidlink/platform/hidplatform.h>

#include <string>
#include <vector>

namespace fwtool {

// HIDLINK_BACKEND=emulator gives the emulated devices (when built in), as for the
// programs; otherwise the system's.
hidplatform::Backend &toolBackend();

// The interface paths of every present device with our vendor id and `productId`,
// sorted, so that "the first device that failed" means the same on every run.
std::vector<std::string> matchingDevices(hidplatform::Backend &backend, int productId);

} // namespace fwtool
