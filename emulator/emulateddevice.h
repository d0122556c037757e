#pragma once
// The device's side of both tools' protocols, in process: the version query, the
// monitor's values and status reports, and the bootloader that takes the DSP and
// ARM images. Faults can be asked for, so that every error path of the tools runs.

#include <emulator/devicescheduler.h>
#include <emulator/emulatedbackend.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace emulator {

struct DeviceConfig
{
    std::uint16_t vendorId = 0x0483;
    std::uint16_t productId = 0x0526;
    std::string path; // empty: a Windows-like path made from the ids
    std::uint16_t version = 1250;
    std::uint16_t featureReportLength = 64;
    std::array<std::uint16_t, 4> values{{0, 1024, 3072, 4095}};

    int latencyMs = 0;               // delay of every reply
    int statusRateHz = 0;            // status reports (id 0x01) per second; 0: none
    int valueRateHz = 0;             // unsolicited value reports per second; 0: none
    bool answerEnterUpdate = true;   // false: never says "U"
    int dspAcks = -1;                // "V" replies given before the device falls silent; -1: all
    int armAcks = -1;                // "T" replies given before the device falls silent; -1: all
    std::uint8_t armAckClass = 0x0C; // the class of "T" replies (0x0C or 0x0F)
    bool confirmOnDspEnd = false;    // a "Y" when the DSP end command arrives
    bool confirmOnArmEnd = false;    // a "Y" when the ARM end command arrives
    int refuseFromPacket = -1;       // refuse every feature report from data packet k on
    int unplugAtPacket = -1;         // pulled out when data packet k arrives
    std::string imageFolder;         // where the received images are written on ARM end
    int replugAfterUpdateMs = -1;    // pulled out that long after ARM end, back as long after
    bool openableForReading = true;
    bool openableForWriting = true;
    std::string tracePath; // every report received, one hex line each, appended there
    // Reports the device sends on its own, each that many milliseconds after it appears.
    std::vector<std::pair<int, std::vector<std::uint8_t>>> unsolicited;
};

// The Windows-like interface path of the device numbered `index` (0 for the first).
std::string devicePath(std::uint16_t vendorId, std::uint16_t productId, int index = 0);

class EmulatedDevice : public hidplatform::VirtualDevice
{
public:
    EmulatedDevice(hidplatform::EmulatedBackend &host, DeviceConfig config = DeviceConfig());
    ~EmulatedDevice() override;

    void attach(); // present from the start
    void plug();
    void unplug();
    bool present() const;

    hidplatform::DeviceInfo info() const override;
    hidplatform::Caps caps() const override;
    bool onFeature(const std::uint8_t *data, std::size_t length) override;
    bool acceptsOpen(bool forReading) const override;

    // Sends one input report (20 bytes, zero-padded) to every open read handle.
    void sendReport(std::vector<std::uint8_t> report);
    void refuseFeatures(bool refuse);

    // What the device has received and keeps.
    std::vector<std::vector<std::uint8_t>> featureReports() const;
    std::vector<std::uint8_t> dspImage() const;
    std::vector<std::uint8_t> armImage() const;
    std::array<std::uint16_t, 4> values() const;
    int dataPackets() const;
    bool armEndReceived() const;
    // True when the received images are exactly the images of firmware file `path`.
    bool imagesMatchFile(const std::string &path) const;

    static std::vector<std::uint8_t> valueReport(const std::array<std::uint16_t, 4> &values,
                                                 std::uint16_t version);
    static std::vector<std::uint8_t> statusReport(std::uint16_t value, bool lamp1, bool lamp2);

private:
    void reply(std::vector<std::uint8_t> report);
    void handleCommand(const std::uint8_t *data);
    void writeImages() const;
    void replugLater();
    void sendStatus();
    void trace(const std::uint8_t *data, std::size_t length);
    void sendUnsolicited();

    hidplatform::EmulatedBackend &host;
    const DeviceConfig config;
    DeviceScheduler scheduler;

    mutable std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> received;
    std::vector<std::uint8_t> dsp;
    std::vector<std::uint8_t> arm;
    std::array<std::uint16_t, 4> storedValues;
    int packets = 0;
    int dspPackets = 0;
    int armPackets = 0;
    int dspAcksGiven = 0;
    int armAcksGiven = 0;
    bool refusing = false;
    bool armEnd = false;
    bool replugged = false;
    std::uint32_t statusTick = 0;
    const DeviceScheduler::Clock::time_point born = DeviceScheduler::Clock::now();
};

} // namespace emulator
