#pragma once
// Report lengths from a HID report descriptor: what Windows' HidP_GetCaps reports,
// computed from the bytes Linux hands out (HIDIOCGRDESC).

#include <hidlink/platform/hidplatform.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hidplatform {

// Byte lengths of the reports with one report id, the id byte included as Windows
// counts it (also when the device uses no report ids: id 0). 0 where the descriptor
// declares no report of that kind.
struct ReportLengths
{
    std::uint8_t reportId = 0;
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    std::uint16_t feature = 0;
};

// Every report id the descriptor uses, in the order of first use. False (and `out`
// left empty) for a descriptor that is truncated, pops more than it pushed, nests
// pushes too deep, uses report id 0 or declares a report longer than 65535 bytes.
bool parseReportDescriptor(const std::uint8_t *data, std::size_t length,
                           std::vector<ReportLengths> *out);

// The capabilities the tools use: for each kind of report, the length of report id
// `preferredId` where the descriptor declares that kind for it (the commands go out
// as that report), otherwise the longest report of that kind, as HidP_GetCaps gives.
Caps capsFromReports(const std::vector<ReportLengths> &reports, std::uint8_t preferredId = 0x80);

} // namespace hidplatform
