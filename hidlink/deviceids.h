#pragma once
// The device the tools are built for. Its product id is chosen at build time
// (DEVICE_PRODUCT_ID in the top-level CMakeLists.txt).

#ifndef DEVICE_PRODUCT_ID
#error "DEVICE_PRODUCT_ID comes from the build: link the deviceids target"
#endif

namespace deviceids {

constexpr int VendorId = 0x0483;
constexpr int ProductId = DEVICE_PRODUCT_ID;

} // namespace deviceids
