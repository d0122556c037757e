#include <emulator/emulateddevice.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace emulator {

namespace {

// Paths are UTF-8: on Windows the file is opened by its wide name, not through the
// ANSI code page, which cannot hold every user's folder.
std::filesystem::path fileAt(const std::string &utf8)
{
    return std::filesystem::u8path(utf8);
}

// The device's own numbers, kept apart from the tools' on purpose: the emulator is the
// reference the tools are tested against, so it shares none of their definitions.
constexpr std::size_t InputReportLength = 20;
constexpr int AckWindow = 25;

std::uint32_t bigEndian32(const std::vector<std::uint8_t> &bytes, std::size_t at)
{
    return std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 |
           std::uint32_t(bytes[at + 2]) << 8 | std::uint32_t(bytes[at + 3]);
}

} // namespace

std::string devicePath(std::uint16_t vendorId, std::uint16_t productId, int index)
{
    char path[160];
    std::snprintf(path, sizeof path,
                  "\\\\?\\hid#vid_%04x&pid_%04x#7&2f1c5a3&0&%04d#"
                  "{4d1e55b2-f16f-11cf-88cb-001111000030}",
                  vendorId, productId, index);
    return path;
}

EmulatedDevice::EmulatedDevice(hidplatform::EmulatedBackend &host, DeviceConfig config)
    : host(host), config(std::move(config)), storedValues(this->config.values)
{
    if (this->config.statusRateHz > 0)
        scheduler.every(std::chrono::microseconds(1000000 / this->config.statusRateHz),
                        [this] { sendStatus(); });
    if (this->config.valueRateHz > 0)
        scheduler.every(std::chrono::microseconds(1000000 / this->config.valueRateHz), [this] {
            if (present())
                sendReport(valueReport(values(), this->config.version));
        });
}

EmulatedDevice::~EmulatedDevice()
{
    scheduler.stop();
    host.detach(this);
}

// The device's own reports are scheduled before it is handed to the host: a thread
// that plugs it in touches nothing of it afterwards, so the host's lock orders all it
// did before the device's end.
void EmulatedDevice::attach()
{
    sendUnsolicited();
    host.attach(this);
}

void EmulatedDevice::plug()
{
    sendUnsolicited();
    host.plug(this);
}

void EmulatedDevice::sendUnsolicited()
{
    for (const auto &entry : config.unsolicited) {
        const std::vector<std::uint8_t> report = entry.second;
        scheduler.after(std::chrono::milliseconds(entry.first), [this, report] {
            if (present())
                sendReport(report);
        });
    }
}

void EmulatedDevice::trace(const std::uint8_t *data, std::size_t length)
{
    if (config.tracePath.empty())
        return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(DeviceScheduler::Clock::now() - born)
            .count();
    std::string line = std::to_string(ms) + ' ';
    char hex[3];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", data[i]);
        line += hex;
    }
    // Opened for each line, so that a reader of the file sees every line at once and
    // the trace outlives a process that is killed.
    std::ofstream(fileAt(config.tracePath), std::ios::app) << line << '\n';
}

void EmulatedDevice::unplug()
{
    host.unplug(this);
}

bool EmulatedDevice::present() const
{
    return host.isPresent(this);
}

hidplatform::DeviceInfo EmulatedDevice::info() const
{
    hidplatform::DeviceInfo info;
    info.path = config.path.empty() ? devicePath(config.vendorId, config.productId) : config.path;
    info.vendorId = config.vendorId;
    info.productId = config.productId;
    return info;
}

hidplatform::Caps EmulatedDevice::caps() const
{
    hidplatform::Caps caps;
    caps.inputReportByteLength = InputReportLength;
    caps.featureReportByteLength = config.featureReportLength;
    return caps;
}

bool EmulatedDevice::acceptsOpen(bool forReading) const
{
    return forReading ? config.openableForReading : config.openableForWriting;
}

bool EmulatedDevice::onFeature(const std::uint8_t *data, std::size_t length)
{
    int packet = -1;
    {
        std::lock_guard<std::mutex> lock(mutex);
        received.emplace_back(data, data + length);
        trace(data, length);
        if (refusing)
            return false;
        if (length >= 2 && (data[1] == 0x0D || data[1] == 0x0E))
            packet = packets++;
        if (packet >= 0 && config.refuseFromPacket >= 0 && packet >= config.refuseFromPacket)
            return false;
    }
    if (packet >= 0 && packet == config.unplugAtPacket) {
        unplug();
        return false;
    }
    // Commands are 11 bytes; a device with shorter feature reports sees them cut.
    std::uint8_t command[11] = {};
    std::copy_n(data, std::min<std::size_t>(length, sizeof command), command);
    handleCommand(command);
    return true;
}

void EmulatedDevice::handleCommand(const std::uint8_t *c)
{
    if (c[0] != 0x80)
        return;
    const auto ack = [this](int &given, int limit, std::uint8_t cls, std::uint8_t code) {
        if (limit >= 0 && given >= limit)
            return;
        ++given;
        reply({0x80, cls, code});
    };
    std::unique_lock<std::mutex> lock(mutex);
    switch (c[1]) {
    case 0x03:
        if (c[2] == 0x02) {
            for (int i = 0; i < 4; ++i)
                storedValues[i] =
                    static_cast<std::uint16_t>((c[3 + 2 * i] | c[4 + 2 * i] << 8) & 0x0FFF);
        }
        if (c[2] == 0x01 || c[2] == 0x02) {
            const auto report = valueReport(storedValues, config.version);
            lock.unlock();
            reply(report);
        }
        return;
    case 0x0C:
        if (c[2] == 0x54 && c[3] == 0x02) {
            if (config.answerEnterUpdate) {
                lock.unlock();
                reply({0x80, 0x0C, 0x55});
            }
        } else if (c[2] == 0x23 && c[3] == 0x01) {
            dsp.clear();
            dspPackets = 0;
            ack(dspAcksGiven, config.dspAcks, 0x0C, 0x56);
        } else if (c[2] == 0x21 && c[3] == 0x03) {
            if (config.confirmOnDspEnd)
                reply({0x80, 0x0C, 0x59});
            ack(dspAcksGiven, config.dspAcks, 0x0C, 0x56);
        }
        return;
    case 0x0D:
        dsp.insert(dsp.end(), c + 2, c + 10);
        if (++dspPackets % AckWindow == 0)
            ack(dspAcksGiven, config.dspAcks, 0x0C, 0x56);
        return;
    case 0x0E:
        arm.insert(arm.end(), c + 2, c + 10);
        if (++armPackets % AckWindow == 0)
            ack(armAcksGiven, config.armAcks, config.armAckClass, 0x54);
        return;
    case 0x0F:
        if (c[2] == 0x25 && c[3] == 0x01) {
            arm.clear();
            armPackets = 0;
            ack(armAcksGiven, config.armAcks, config.armAckClass, 0x54);
        } else if (c[2] == 0x10 && c[3] == 0x03) {
            armEnd = true;
            if (config.confirmOnArmEnd)
                reply({0x80, 0x0C, 0x59});
            writeImages();
            replugLater();
        }
        return;
    default:
        return;
    }
}

void EmulatedDevice::reply(std::vector<std::uint8_t> report)
{
    if (config.latencyMs > 0)
        scheduler.after(std::chrono::milliseconds(config.latencyMs),
                        [this, report] { sendReport(report); });
    else
        sendReport(std::move(report));
}

void EmulatedDevice::sendReport(std::vector<std::uint8_t> report)
{
    report.resize(InputReportLength, 0);
    host.sendInput(this, report.data(), report.size());
}

void EmulatedDevice::sendStatus()
{
    if (!present())
        return;
    std::uint32_t tick;
    {
        std::lock_guard<std::mutex> lock(mutex);
        tick = statusTick++;
    }
    // A triangle wave over the bar's range, and two lamps blinking at different rates.
    const std::uint32_t phase = (tick * 16) % 8192;
    const auto value = static_cast<std::uint16_t>(phase <= 4096 ? phase : 8192 - phase);
    sendReport(statusReport(value, (tick / 50) % 2 == 1, (tick / 100) % 2 == 1));
}

void EmulatedDevice::refuseFeatures(bool refuse)
{
    std::lock_guard<std::mutex> lock(mutex);
    refusing = refuse;
}

std::vector<std::vector<std::uint8_t>> EmulatedDevice::featureReports() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

std::vector<std::uint8_t> EmulatedDevice::dspImage() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return dsp;
}

std::vector<std::uint8_t> EmulatedDevice::armImage() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return arm;
}

std::array<std::uint16_t, 4> EmulatedDevice::values() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return storedValues;
}

int EmulatedDevice::dataPackets() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return packets;
}

bool EmulatedDevice::armEndReceived() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return armEnd;
}

bool EmulatedDevice::imagesMatchFile(const std::string &path) const
{
    std::ifstream in(fileAt(path), std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    if (file.size() < 16)
        return false;
    const std::uint64_t dspLength = bigEndian32(file, 0);
    const std::uint64_t armLength = bigEndian32(file, 8);
    if (16 + dspLength + armLength != file.size())
        return false;
    const auto dspBegin = file.begin() + 16;
    const auto armBegin = dspBegin + static_cast<std::ptrdiff_t>(dspLength);
    std::lock_guard<std::mutex> lock(mutex);
    return std::vector<std::uint8_t>(dspBegin, armBegin) == dsp &&
           std::vector<std::uint8_t>(armBegin, file.end()) == arm;
}

void EmulatedDevice::replugLater()
{
    // Called with the mutex held; once per device, as a line worker does it.
    if (config.replugAfterUpdateMs < 0 || replugged)
        return;
    replugged = true;
    const std::chrono::milliseconds pause(config.replugAfterUpdateMs);
    scheduler.after(pause, [this, pause] {
        unplug();
        scheduler.after(pause, [this] { plug(); });
    });
}

void EmulatedDevice::writeImages() const
{
    // Called with the mutex held.
    if (config.imageFolder.empty())
        return;
    std::ofstream(fileAt(config.imageFolder + "/dsp.bin"), std::ios::binary)
        .write(reinterpret_cast<const char *>(dsp.data()),
               static_cast<std::streamsize>(dsp.size()));
    std::ofstream(fileAt(config.imageFolder + "/arm.bin"), std::ios::binary)
        .write(reinterpret_cast<const char *>(arm.data()),
               static_cast<std::streamsize>(arm.size()));
}

std::vector<std::uint8_t> EmulatedDevice::valueReport(const std::array<std::uint16_t, 4> &v,
                                                      std::uint16_t version)
{
    std::vector<std::uint8_t> r(InputReportLength, 0);
    r[0] = 0x80;
    r[1] = 0x0A;
    r[2] = v[0] & 0xFF;
    r[3] = static_cast<std::uint8_t>((v[0] >> 8 & 0x0F) | (v[1] & 0x0F) << 4);
    r[4] = static_cast<std::uint8_t>(v[1] >> 4);
    r[5] = v[2] & 0xFF;
    r[6] = version & 0xFF;
    r[7] = version >> 8;
    r[8] = static_cast<std::uint8_t>((v[2] >> 8 & 0x0F) | (v[3] & 0x0F) << 4);
    r[9] = static_cast<std::uint8_t>(v[3] >> 4);
    return r;
}

std::vector<std::uint8_t> EmulatedDevice::statusReport(std::uint16_t value, bool lamp1, bool lamp2)
{
    std::vector<std::uint8_t> r(InputReportLength, 0);
    r[0] = 0x01;
    r[5] = value & 0xFF;
    r[6] = value >> 8;
    r[9] = static_cast<std::uint8_t>((lamp1 ? 0x10 : 0) | (lamp2 ? 0x20 : 0));
    return r;
}

} // namespace emulator
