#include <emulator/environment.h>

#include <cstdlib>
#include <cstring>
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

std::string textFromEnv(const char *name)
{
    const char *text = std::getenv(name);
    return text ? text : "";
}

} // namespace

DeviceConfig configFromEnvironment()
{
    DeviceConfig c;
    c.version = static_cast<std::uint16_t>(intFromEnv("EMULATOR_VERSION", c.version));
    c.featureReportLength =
        static_cast<std::uint16_t>(intFromEnv("EMULATOR_FEATURE_LENGTH", c.featureReportLength));
    c.latencyMs = intFromEnv("EMULATOR_LATENCY_MS", c.latencyMs);
    c.statusRateHz = intFromEnv("EMULATOR_STATUS_RATE", c.statusRateHz);
    c.valueRateHz = intFromEnv("EMULATOR_VALUE_RATE", c.valueRateHz);
    c.answerEnterUpdate = intFromEnv("EMULATOR_NO_U", 0) == 0;
    c.dspAcks = intFromEnv("EMULATOR_DSP_ACKS", c.dspAcks);
    c.armAcks = intFromEnv("EMULATOR_ARM_ACKS", c.armAcks);
    const std::string confirm = textFromEnv("EMULATOR_CONFIRM");
    c.confirmOnDspEnd = confirm == "dsp";
    c.confirmOnArmEnd = confirm == "arm";
    c.refuseFromPacket = intFromEnv("EMULATOR_REFUSE_FROM_PACKET", c.refuseFromPacket);
    c.unplugAtPacket = intFromEnv("EMULATOR_UNPLUG_AT_PACKET", c.unplugAtPacket);
    c.imageFolder = textFromEnv("EMULATOR_IMAGE_DIR");
    return c;
}

EmulatedDevice *installFromEnvironment()
{
    if (textFromEnv("HIDLINK_BACKEND") != "emulator")
        return nullptr;
    // Both live until the process ends: readers may use the backend up to the end.
    static hidplatform::EmulatedBackend backend;
    static EmulatedDevice device(backend, configFromEnvironment());
    hidplatform::setBackend(&backend);
    const int plugAfterMs = intFromEnv("EMULATOR_PLUG_AFTER_MS", -1);
    if (plugAfterMs < 0) {
        device.attach();
    } else {
        std::thread([plugAfterMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(plugAfterMs));
            device.plug();
        }).detach();
    }
    return &device;
}

} // namespace emulator
