// Report descriptors come from the device: whatever the bytes, the parser must
// neither read past them nor give lengths without their id byte.

#include <hidlink/platform/hiddescriptor.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<hidplatform::ReportLengths> reports;
    if (!hidplatform::parseReportDescriptor(data, size, &reports)) {
        if (!reports.empty())
            std::abort();
        return 0;
    }
    for (const hidplatform::ReportLengths &report : reports) {
        if (report.input == 1 || report.output == 1 || report.feature == 1)
            std::abort();
    }
    const hidplatform::Caps caps = hidplatform::capsFromReports(reports);
    if (caps.featureReportByteLength == 1 || caps.inputReportByteLength == 1)
        std::abort();
    return 0;
}
