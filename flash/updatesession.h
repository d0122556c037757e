#pragma once
// One firmware update through the device's bootloader: enter update mode, the DSP
// image, then the ARM image, in 8-byte packets paced by a timer and acknowledged
// every 25 packets. The session owns the protocol's state and timers; whoever shows
// it (the window, the command line) reacts to its signals.

#include <flash/bootprotocol.h>

#include <QByteArray>
#include <QObject>

class QTimer;

namespace flash {

class DeviceConnection;

// The protocol's pace and patience. The device's own values are the defaults;
// tests shorten them.
struct Timing
{
    int packetIntervalMs = bootprotocol::PacketIntervalMs;
    int stageTimeoutTicks = bootprotocol::TimeoutTicks;
    int watchdogIntervalMs = bootprotocol::WatchdogIntervalMs;
    int watchdogTicks = bootprotocol::WatchdogLimit;
    // How long after start-up the device is first asked for its version.
    int versionQueryDelayMs = 1000;
};

class UpdateSession : public QObject
{
    Q_OBJECT
public:
    // Writes through `connection`; takes the replies posted to it (see
    // DeviceConnection::setListener).
    UpdateSession(DeviceConnection &connection, const Timing &timing = Timing(),
                  QObject *parent = nullptr);

    // A data packet (report id, kind, 8 image bytes) does not fit the feature report
    // of the device found: the link would cut every packet without a word.
    bool packetsWouldBeCut() const;

    enum class StartResult
    {
        Started,
        DeviceBusy, // another program is updating the device: nothing was sent
        Running,    // this session's update has not ended yet
    };
    // Takes the device's update lock, sends the enter-update command for `image` (a
    // whole, checked firmware file whose ARM image starts at `dspEnd`) and waits for
    // the device's "U". Every piece of protocol state starts afresh.
    StartResult start(const QByteArray &image, qint64 dspEnd);
    // Stops every timer and gives the device back; the device stays where the
    // protocol left it.
    void stop();
    // True from start() until the update has ended, however it ended.
    bool running() const { return active; }

    // An input report with report id 0x80 from the device. Only the version reply is
    // taken while no update of this session runs: the others belong to someone else.
    void handleReply(const QByteArray &report);

    // One tick of each timer.
    int sendDspData();
    int sendArmData();
    void watchdogTick();

    // The protocol's single steps, each one write.
    void sendVersionQuery();
    void sendEnterUpdate();
    int sendDspHandshake();
    int sendArmHandshake();
    int sendDspPacket(int offset, int number);
    int sendArmPacket(int offset, int number);

signals:
    void versionReceived(const QByteArray &report);
    // The offset of the packet just sent, counted in the whole file.
    void progress(qint64 offset);
    // The protocol's error numbers: 1 no update mode, 2 no DSP acknowledgement,
    // 4 no reply to an end command, 5 no ARM acknowledgement.
    void failed(int number);
    // The last packet went out and every write of the update reached the device.
    void completed();
    // A write the link refused for a reason the user must hear of (a HidLink::Refusal),
    // emitted at once: the tick that made the write waits for whoever tells the user.
    void writeRefused(int refusal);

protected:
    void customEvent(QEvent *event) override;

private:
    int send(const bootprotocol::Command &command);
    // Every end of an update: the timers stop and the device is given back.
    void end();

    DeviceConnection &connection;
    const Timing pace;
    QTimer *dspTimer;
    QTimer *armTimer;
    QTimer *watchdog;

    bool active = false;
    QByteArray imageData;
    qint64 dspEnd = 0;
    bool updateModeAck = false;
    int delayTicks = 0;
    bool dspHandshakeSent = false;
    bool dspAck = false;
    bool armAck = false;
    bool dspEndSent = false;
    bool armEndSent = false;
    bool confirmSeen = false;
    // A write of this update did not reach the device: completion is not claimed then.
    bool writeFailed = false;
    int dspPacket = 0;
    int armPacket = 0;
    int dspTicks = 0;
    int armTicks = 0;
    bootprotocol::Command packet{}; // reused by every data packet
};

} // namespace flash
