#include <hidlink/platform/hiddescriptor.h>

#include <algorithm>

namespace hidplatform {

namespace {

// Item types and tags of the short items that decide report lengths.
constexpr unsigned typeMain = 0;
constexpr unsigned typeGlobal = 1;
constexpr unsigned tagInput = 8;
constexpr unsigned tagOutput = 9;
constexpr unsigned tagFeature = 11;
constexpr unsigned tagReportSize = 7;
constexpr unsigned tagReportId = 8;
constexpr unsigned tagReportCount = 9;
constexpr unsigned tagPush = 10;
constexpr unsigned tagPop = 11;
constexpr std::uint8_t longItemPrefix = 0xFE;

// Deeper than any real device nests; bounds the memory a hostile descriptor can claim.
constexpr std::size_t maxPushDepth = 32;
// Lengths are 16-bit in HIDP_CAPS: 65535 bytes with the id byte.
constexpr std::uint64_t maxReportBits = std::uint64_t(65534) * 8;

struct Globals
{
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

struct ReportBits
{
    std::uint8_t reportId = 0;
    std::uint64_t input = 0;
    std::uint64_t output = 0;
    std::uint64_t feature = 0;
};

std::uint16_t bytesWithId(std::uint64_t bits)
{
    return bits == 0 ? 0 : static_cast<std::uint16_t>((bits + 7) / 8 + 1);
}

ReportBits &reportFor(std::vector<ReportBits> &reports, std::uint8_t reportId)
{
    const auto it = std::find_if(reports.begin(), reports.end(),
                                 [&](const ReportBits &r) { return r.reportId == reportId; });
    if (it != reports.end())
        return *it;
    reports.push_back(ReportBits{reportId});
    return reports.back();
}

} // namespace

bool parseReportDescriptor(const std::uint8_t *data, std::size_t length,
                           std::vector<ReportLengths> *out)
{
    out->clear();
    Globals globals;
    std::vector<Globals> pushed;
    std::vector<ReportBits> reports;

    std::size_t pos = 0;
    while (pos < length) {
        const std::uint8_t prefix = data[pos++];
        if (prefix == longItemPrefix) {
            // Long items (data size, tag, data) carry nothing about lengths.
            if (length - pos < 2)
                return false;
            const std::size_t size = data[pos];
            pos += 2;
            if (length - pos < size)
                return false;
            pos += size;
            continue;
        }

        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (length - pos < size)
            return false;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= std::uint32_t(data[pos + i]) << (8 * i);
        pos += size;

        const unsigned type = (prefix >> 2) & 3;
        const unsigned tag = prefix >> 4;
        if (type == typeGlobal) {
            switch (tag) {
            case tagReportSize:
                globals.reportSize = value;
                break;
            case tagReportCount:
                globals.reportCount = value;
                break;
            case tagReportId:
                if (value == 0 || value > 0xFF)
                    return false;
                globals.reportId = static_cast<std::uint8_t>(value);
                break;
            case tagPush:
                if (pushed.size() == maxPushDepth)
                    return false;
                pushed.push_back(globals);
                break;
            case tagPop:
                if (pushed.empty())
                    return false;
                globals = pushed.back();
                pushed.pop_back();
                break;
            default:
                break;
            }
        } else if (type == typeMain && (tag == tagInput || tag == tagOutput || tag == tagFeature)) {
            ReportBits &report = reportFor(reports, globals.reportId);
            std::uint64_t &bits = tag == tagInput    ? report.input
                                  : tag == tagOutput ? report.output
                                                     : report.feature;
            // Cannot overflow: bits stays below 2^20 and the product below 2^64 - 2^32.
            bits += std::uint64_t(globals.reportSize) * globals.reportCount;
            if (bits > maxReportBits)
                return false;
        }
    }

    for (const ReportBits &report : reports) {
        out->push_back(ReportLengths{report.reportId, bytesWithId(report.input),
                                     bytesWithId(report.output), bytesWithId(report.feature)});
    }
    return true;
}

Caps capsFromReports(const std::vector<ReportLengths> &reports, std::uint8_t preferredId)
{
    const auto pick = [&](std::uint16_t ReportLengths::*kind) {
        std::uint16_t longest = 0;
        for (const ReportLengths &report : reports) {
            if (report.reportId == preferredId && report.*kind != 0)
                return report.*kind;
            longest = std::max(longest, report.*kind);
        }
        return longest;
    };
    Caps caps;
    caps.inputReportByteLength = pick(&ReportLengths::input);
    caps.outputReportByteLength = pick(&ReportLengths::output);
    caps.featureReportByteLength = pick(&ReportLengths::feature);
    return caps;
}

} // namespace hidplatform
