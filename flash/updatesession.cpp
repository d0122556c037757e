#include <flash/updatesession.h>

#include <flash/deviceconnection.h>
#include <flash/usbevent.h>

#include <QTimer>

using namespace bootprotocol;

namespace flash {

UpdateSession::UpdateSession(DeviceConnection &connection, const Timing &timing, QObject *parent)
    : QObject(parent), connection(connection), pace(timing), dspTimer(new QTimer(this)),
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
    const HidLink &link = connection.link();
    const int length = link.caps().featureReportByteLength;
    return link.deviceFound() && length > 0 && length < 2 + firmware::PacketSize;
}

UpdateSession::StartResult UpdateSession::start(const QByteArray &image, qint64 imageDspEnd)
{
    if (active)
        return StartResult::Running;
    if (connection.acquireUpdateLock() == DeviceConnection::LockResult::Busy)
        return StartResult::DeviceBusy;
    active = true;
    imageData = image;
    dspEnd = imageDspEnd;
    updateModeAck = false;
    delayTicks = 0;
    dspHandshakeSent = false;
    dspAck = false;
    armAck = false;
    dspEndSent = false;
    armEndSent = false;
    confirmSeen = false;
    writeFailed = false;
    dspPacket = 0;
    armPacket = 0;
    dspTicks = 0;
    armTicks = 0;
    sendEnterUpdate();
    // Counted from here: a refusal box for the command above has been closed by now.
    if (active)
        watchdog->start();
    return StartResult::Started;
}

void UpdateSession::stop()
{
    end();
}

void UpdateSession::end()
{
    dspTimer->stop();
    armTimer->stop();
    watchdog->stop();
    active = false;
    connection.releaseUpdateLock();
}

int UpdateSession::send(const Command &command)
{
    HidLink::Refusal why = HidLink::Refusal::None;
    const int result = connection.send(command.data(), &why);
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
    end();
    emit failed(1);
}

void UpdateSession::customEvent(QEvent *event)
{
    if (event->type() != USBEvent::EventType)
        return;
    const auto *report = static_cast<USBEvent *>(event);
    if (report->reportId == 0x80)
        handleReply(report->data);
}

void UpdateSession::handleReply(const QByteArray &report)
{
    const Reply reply = classify(report);
    if (reply == Reply::Version) {
        emit versionReceived(report);
        return;
    }
    if (!active)
        return;
    switch (reply) {
    case Reply::UpdateMode:
        updateModeAck = true;
        watchdog->stop();
        delayTicks = 0;
        // One handshake however many "U" the device sends.
        if (!dspHandshakeSent) {
            dspHandshakeSent = true;
            sendDspHandshake();
        }
        if (active)
            dspTimer->start();
        return;
    case Reply::DspAck:
        if (dspEndSent) {
            dspTimer->stop();
            dspEndSent = false;
            sendArmHandshake();
            if (active)
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
    case Reply::Version:
    case Reply::Ignored:
        return;
    }
}

int UpdateSession::sendDspData()
{
    if (!updateModeAck)
        return 0;
    if (++dspTicks == pace.stageTimeoutTicks) {
        end();
        emit failed(dspEndSent && !confirmSeen ? 4 : 2);
        return 0;
    }
    if (!dspAck)
        return 0;
    dspTicks = 0;
    const qint64 offset = dspPacket * firmware::PacketSize + firmware::HeaderSize;
    if (offset == dspEnd)
        return 0;
    sendDspPacket(int(offset), int(firmware::PacketSize));
    if (!active)
        return 0;
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
        end();
        emit failed(armEndSent && !confirmSeen ? 4 : 5);
        return 0;
    }
    if (!armAck)
        return 0;
    armTicks = 0;
    const qint64 offset = armPacket * firmware::PacketSize + dspEnd;
    if (offset == imageData.size())
        return 0;
    sendArmPacket(int(offset), int(firmware::PacketSize));
    if (!active)
        return 0;
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
        end();
        emit completed();
    }
    return 0;
}

} // namespace flash
