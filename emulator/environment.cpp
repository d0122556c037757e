#include <emulator/environment.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace emulator {

namespace {

int intFromEnv(const char *name, int fallback)
{
    const char *text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 0);
    return *end == '\0' ? static_cast<int>(value) : fallback;
}

// UTF-8, as the emulator's paths are: on Windows read wide, since a folder the variable
// names may lie outside the ANSI code page.
std::string textFromEnv(const char *name)
{
#ifdef _WIN32
    const std::wstring wideName(name, name + std::strlen(name));
    const wchar_t *text = _wgetenv(wideName.c_str());
    return text ? std::filesystem::path(text).u8string() : "";
#else
    const char *text = std::getenv(name);
    return text ? text : "";
#endif
}

// The `index`th entry (0-based) of a comma-separated list of numbers; the last entry
// stands for those after it, and `fallback` for a list that is not set.
int listEntry(const char *name, int index, int fallback)
{
    std::istringstream entries(textFromEnv(name));
    std::string entry;
    int value = fallback;
    for (int i = 0; i <= index && std::getline(entries, entry, ','); ++i) {
        char *end = nullptr;
        const long number = std::strtol(entry.c_str(), &end, 0);
        value = !entry.empty() && *end == '\0' ? int(number) : fallback;
    }
    return value;
}

// The fault settings, which EMULATOR_FAULT_DEVICE gives to one device only.
void applyFaults(DeviceConfig &c)
{
    c.latencyMs = intFromEnv("EMULATOR_LATENCY_MS", c.latencyMs);
    c.answerEnterUpdate = intFromEnv("EMULATOR_NO_U", 0) == 0;
    c.dspAcks = intFromEnv("EMULATOR_DSP_ACKS", c.dspAcks);
    c.armAcks = intFromEnv("EMULATOR_ARM_ACKS", c.armAcks);
    const std::string confirm = textFromEnv("EMULATOR_CONFIRM");
    c.confirmOnDspEnd = confirm == "dsp";
    c.confirmOnArmEnd = confirm == "arm";
    c.refuseFromPacket = intFromEnv("EMULATOR_REFUSE_FROM_PACKET", c.refuseFromPacket);
    c.unplugAtPacket = intFromEnv("EMULATOR_UNPLUG_AT_PACKET", c.unplugAtPacket);
}

} // namespace

bool parseUnsolicited(const std::string &text,
                      std::vector<std::pair<int, std::vector<std::uint8_t>>> *reports)
{
    std::istringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        const auto colon = entry.find(':');
        if (colon == std::string::npos || colon == 0)
            return false;
        char *end = nullptr;
        const long ms = std::strtol(entry.c_str(), &end, 10);
        const std::string hex = entry.substr(colon + 1);
        if (end != entry.c_str() + colon || ms < 0 || hex.empty() || hex.size() % 2 != 0 ||
            hex.size() > 40 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i < hex.size(); i += 2)
            bytes.push_back(std::uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
        reports->emplace_back(int(ms), std::move(bytes));
    }
    return true;
}

DeviceConfig configFromEnvironment(int index, int count)
{
    DeviceConfig c;
    c.version = static_cast<std::uint16_t>(listEntry("EMULATOR_VERSION", index, c.version));
    c.featureReportLength =
        static_cast<std::uint16_t>(intFromEnv("EMULATOR_FEATURE_LENGTH", c.featureReportLength));
    c.statusRateHz = intFromEnv("EMULATOR_STATUS_RATE", c.statusRateHz);
    c.valueRateHz = intFromEnv("EMULATOR_VALUE_RATE", c.valueRateHz);
    const int faulty = intFromEnv("EMULATOR_FAULT_DEVICE", 0);
    if (faulty <= 0 || faulty == index + 1)
        applyFaults(c);
    if (intFromEnv("EMULATOR_REPLUG_DEVICE", 0) == index + 1)
        c.replugAfterUpdateMs = intFromEnv("EMULATOR_REPLUG_AFTER_MS", 300);
    c.imageFolder = textFromEnv("EMULATOR_IMAGE_DIR");
    if (count > 1) {
        // Each device's images in a folder of its own: <folder>/1, <folder>/2, ...
        c.path = devicePath(c.vendorId, c.productId, index);
        if (!c.imageFolder.empty()) {
            c.imageFolder += '/' + std::to_string(index + 1);
            std::error_code ignored; // a folder that cannot be made leaves the files unwritten
            std::filesystem::create_directories(c.imageFolder, ignored);
        }
    }
    c.tracePath = textFromEnv("EMULATOR_TRACE");
    if (!parseUnsolicited(textFromEnv("EMULATOR_SEND"), &c.unsolicited)) {
        std::fprintf(stderr, "emulator: EMULATOR_SEND is not ms:hexbytes[,ms:hexbytes...]\n");
        c.unsolicited.clear();
    }
    return c;
}

hidplatform::Backend &backendFromEnvironment()
{
    if (textFromEnv("HIDLINK_BACKEND") != "emulator")
        return hidplatform::nativeBackend();
    // All live until the process ends: readers may use the backend up to the end.
    static hidplatform::EmulatedBackend backend;
    static std::vector<std::unique_ptr<EmulatedDevice>> devices;
    const int count = std::max(1, std::min(intFromEnv("EMULATOR_DEVICES", 1), MaxDevices));
    for (int i = 0; i < count; ++i) {
        devices.push_back(
            std::make_unique<EmulatedDevice>(backend, configFromEnvironment(i, count)));
        EmulatedDevice *device = devices.back().get();
        const int plugAfterMs = listEntry("EMULATOR_PLUG_AFTER_MS", i, -1);
        if (plugAfterMs < 0) {
            device->attach();
        } else {
            std::thread([plugAfterMs, device] {
                std::this_thread::sleep_for(std::chrono::milliseconds(plugAfterMs));
                device->plug();
            }).detach();
        }
    }
    return backend;
}

} // namespace emulator
