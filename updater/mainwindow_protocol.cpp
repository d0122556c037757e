// The conversation with the device's bootloader: replies, timers and errors.
#include "mainwindow.h"
#include "messageboxes.h"
#include "ui_mainwindow.h"
#include "usbevent.h"

#include <QTimer>

using namespace bootprotocol;

void MainWindow::onGetVersionFromMotor()
{
    Slot_SengReadCommand();
}

void MainWindow::Slot_SengReadCommand()
{
    SendDataToUsb(versionQuery().data());
}

void MainWindow::on_toolButton_2_clicked()
{
    writeFailed = false;
    Slot_SecondCommand();
    upgradeDelayTimer->start();
    ui->TBFlush->setEnabled(false);
    ui->toolButton_2->setEnabled(false);
}

void MainWindow::Slot_SecondCommand()
{
    SendDataToUsb(enterUpdate().data());
}

int MainWindow::DSPShakeHand()
{
    SendDataToUsb(dspHandshake().data());
    return 0;
}

int MainWindow::ARMShakeHand()
{
    SendDataToUsb(armHandshake().data());
    return 0;
}

void MainWindow::onToolButton_Three()
{
    ARMShakeHand();
}

int MainWindow::DSPbinFileSend(int nnum, int number)
{
    fillDataPacket(packet, DspData, imageData, nnum, number);
    SendDataToUsb(packet.data());
    return 0;
}

int MainWindow::ARMbinFileSend(int nnum, int number)
{
    fillDataPacket(packet, ArmData, imageData, nnum, number);
    SendDataToUsb(packet.data());
    return 0;
}

void MainWindow::UpgradeDelayTimer()
{
    if (++delayTicks != WatchdogLimit)
        return;
    delayTicks = 0;
    upgradeDelayTimer->stop();
    showError(1);
}

void MainWindow::customEvent(QEvent *event)
{
    if (event->type() != USBEvent::EventType)
        return;
    const auto *report = dynamic_cast<USBEvent *>(event);
    if (!report || report->reportId != 0x80)
        return;
    dispatchReply(report->data);
}

void MainWindow::dispatchReply(const QByteArray &report)
{
    switch (classify(report)) {
    case Reply::Version:
        versionReport.clear();
        versionReport = report;
        deviceVersion = versionOf(report);
        return;
    case Reply::UpdateMode:
        updateModeAck = true;
        upgradeDelayTimer->stop();
        delayTicks = 0;
        // Set before the write: a "U" handled in a nested event loop must not send
        // the handshake again.
        if (!dspHandshakeSent) {
            dspHandshakeSent = true;
            DSPShakeHand();
        }
        dspTimer->start();
        return;
    case Reply::DspAck:
        if (dspEndSent) {
            dspTimer->stop();
            dspEndSent = false;
            ARMShakeHand();
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

int MainWindow::SendDSPData()
{
    if (!updateModeAck)
        return 0;
    if (++dspTicks == TimeoutTicks) {
        if (dspEndSent && !confirmSeen) {
            dspEndSent = false;
            dspTimer->stop();
            showError(4);
        } else {
            updateModeAck = false;
            dspTicks = 0;
            showError(2);
        }
        return 0;
    }
    if (!dspAck)
        return 0;
    dspTicks = 0;
    const qint64 offset = qint64(dspPacket) * PacketSize + 16;
    if (offset == dspEnd)
        return 0;
    DSPbinFileSend(int(offset), PacketSize);
    ui->progressBarColor->setValue(int(offset));
    if (dspPacket == dspEnd / PacketSize - 3) {
        SendDataToUsb(bootprotocol::dspEnd().data());
        dspEndSent = true;
        dspAck = false;
    }
    ++dspPacket;
    if (dspPacket % AckWindow == 0)
        dspAck = false;
    return 0;
}

int MainWindow::SendARMData()
{
    if (!updateModeAck)
        return 0;
    if (++armTicks == TimeoutTicks && !armAck) {
        if (armEndSent && !confirmSeen) {
            armEndSent = false;
            armTimer->stop();
            showError(4);
        } else {
            armTimer->stop();
            updateModeAck = false;
            showError(5);
        }
        return 0;
    }
    if (!armAck)
        return 0;
    armTicks = 0;
    const qint64 offset = qint64(armPacket) * PacketSize + dspEnd;
    if (offset == imageData.size())
        return 0;
    ARMbinFileSend(int(offset), PacketSize);
    ui->progressBarColor->setValue(int(offset));
    if (armPacket == (imageData.size() - dspEnd) / PacketSize - 1) {
        SendDataToUsb(bootprotocol::armEnd().data());
        armEndSent = true;
        armAck = false;
        ui->toolButton_2->setEnabled(false);
        ui->TBFlush->setEnabled(false);
    }
    // The last window goes out without waiting for a reply: after a failed write (the
    // writer then stays pending and sends nothing more) completion would be claimed for
    // an image the device never got whole. The stage's time-out reports it instead.
    if (offset + PacketSize == imageData.size() && !writeFailed) {
        if (showCompletionBox())
            endProcess(0);
    }
    ++armPacket;
    if (armPacket % AckWindow == 0)
        armAck = false;
    return 0;
}

bool MainWindow::showCompletionBox()
{
    return messageboxes::completion(locale);
}
