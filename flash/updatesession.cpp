#include <flash/updatesession.h>

#include <hidlink/hidlink.h>

#include <QTimer>

using namespace bootprotocol;

namespace flash {

UpdateSession::UpdateSession(HidLink &link, const Timing &timing, QObject *parent)
    : QObject(parent), link(link), pace(timing), dspTimer(new QTimer(this)),
      armTimer(new QTimer(this)), watchdog(new QTimer(this))
{
    // Coarse timers may stretch 2 ms ticks; the transfer's pace is these ticks.
    dspTimer->setTimerType(Qt::PreciseTimer);
    armTimer->setTimerType(Qt::PreciseTimer);
    dspTimer->setInterval(pace.packetIntervalMs);
    armTimer->setInterval(pace.packetIntervalMs);
    watchdog->setInterval(pace.watchdogIntervalMs);
    connect(dspTimer, &QTimer::timeout, this, &UpdateSession::sendDspData);
    connect(armTimer, &QTimer::timeout, this, &UpdateSession::sendArmData);
    connect(watchdog, &QTimer::timeout, this, &UpdateSession::watchdogTick);
}

bool UpdateSession::packetsWouldBeCut() const
{
    // Without a device or its capabilities the write itself says what is wrong.
    const int length = link.hidCaps.featureReportByteLength;
    return link.deviceFound && length > 0 && length < 2 + firmware::PacketSize;
}

void UpdateSession::start(const QByteArray &image, qint64 imageDspEnd)
{
    imageData = image;
    dspEnd = imageDspEnd;
    writeFailed = false;
    sendEnterUpdate();
    watchdog->start();
}

void UpdateSession::stop()
{
    dspTimer->stop();
    armTimer->stop();
    watchdog->stop();
}

int UpdateSession::send(const Command &command)
{
    HidLink::Refusal why = HidLink::Refusal::None;
    const int result = link.SendDataToUsb(command.data(), &why);
    if (result != 1)
        writeFailed = true;
    if (why == HidLink::Refusal::DeviceNotFound || why == HidLink::Refusal::NoWriteHandle)
        emit writeRefused(int(why));
    return result;
}

void UpdateSession::sendVersionQuery()
{
    send(versionQuery());
}

void UpdateSession::sendEnterUpdate()
{
    send(enterUpdate());
}

int UpdateSession::sendDspHandshake()
{
    send(dspHandshake());
    return 0;
}

int UpdateSession::sendArmHandshake()
{
    send(armHandshake());
    return 0;
}

int UpdateSession::sendDspPacket(int offset, int number)
{
    fillDataPacket(packet, DspData, imageData, offset, number);
    send(packet);
    return 0;
}

int UpdateSession::sendArmPacket(int offset, int number)
{
    fillDataPacket(packet, ArmData, imageData, offset, number);
    send(packet);
    return 0;
}

void UpdateSession::watchdogTick()
{
    if (++delayTicks != pace.watchdogTicks)
        return;
    delayTicks = 0;
    watchdog->stop();
    emit failed(1);
}

void UpdateSession::handleReply(const QByteArray &report)
{
    switch (classify(report)) {
    case Reply::Version:
        emit versionReceived(report);
        return;
    case Reply::UpdateMode:
        updateModeAck = true;
        watchdog->stop();
        delayTicks = 0;
        // One handshake however many "U" the device sends.
        if (!dspHandshakeSent) {
            dspHandshakeSent = true;
            sendDspHandshake();
        }
        dspTimer->start();
        return;
    case Reply::DspAck:
        if (dspEndSent) {
            dspTimer->stop();
            dspEndSent = false;
            sendArmHandshake();
            armTimer->start();
        }
        dspAck = true;
        return;
    case Reply::ArmAck:
        armAck = true;
        return;
    case Reply::Confirm:
        confirmSeen = true;
        return;
    case Reply::Ignored:
        return;
    }
}

int UpdateSession::sendDspData()
{
    if (!updateModeAck)
        return 0;
    if (++dspTicks == pace.stageTimeoutTicks) {
        if (dspEndSent && !confirmSeen) {
            dspEndSent = false;
            dspTimer->stop();
            emit failed(4);
        } else {
            updateModeAck = false;
            dspTicks = 0;
            emit failed(2);
        }
        return 0;
    }
    if (!dspAck)
        return 0;
    dspTicks = 0;
    const qint64 offset = dspPacket * firmware::PacketSize + firmware::HeaderSize;
    if (offset == dspEnd)
        return 0;
    sendDspPacket(int(offset), int(firmware::PacketSize));
    emit progress(offset);
    if (dspPacket == dspEnd / firmware::PacketSize - 3) {
        send(bootprotocol::dspEnd());
        dspEndSent = true;
        dspAck = false;
    }
    ++dspPacket;
    if (dspPacket % AckWindow == 0)
        dspAck = false;
    return 0;
}

int UpdateSession::sendArmData()
{
    if (!updateModeAck)
        return 0;
    if (++armTicks == pace.stageTimeoutTicks && !armAck) {
        armTimer->stop();
        if (armEndSent && !confirmSeen) {
            armEndSent = false;
            emit failed(4);
        } else {
            updateModeAck = false;
            emit failed(5);
        }
        return 0;
    }
    if (!armAck)
        return 0;
    armTicks = 0;
    const qint64 offset = armPacket * firmware::PacketSize + dspEnd;
    if (offset == imageData.size())
        return 0;
    sendArmPacket(int(offset), int(firmware::PacketSize));
    emit progress(offset);
    if (armPacket == (imageData.size() - dspEnd) / firmware::PacketSize - 1) {
        send(bootprotocol::armEnd());
        armEndSent = true;
        armAck = false;
    }
    ++armPacket;
    if (armPacket % AckWindow == 0)
        armAck = false;
    // The last window goes out without waiting for a reply: after a failed write (the
    // writer then stays pending and sends nothing more) completion would be claimed for
    // an image the device never got whole. The stage's time-out reports it instead.
    if (offset + firmware::PacketSize == imageData.size() && !writeFailed) {
        armTimer->stop();
        emit completed();
    }
    return 0;
}

} // namespace flash
