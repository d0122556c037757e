// The window's face of the update: its slots hand over to the session, its boxes
// show what the session reports.
#include "ui_mainwindow.h"
#include <flash/updatemessages.h>
#include <flash/usbevent.h>
#include <updater/mainwindow.h>
#include <updater/messageboxes.h>

namespace updater {

void MainWindow::onGetVersionFromMotor()
{
    Slot_SengReadCommand();
}

void MainWindow::Slot_SengReadCommand()
{
    SendDataToUsb(bootprotocol::versionQuery().data());
}

void MainWindow::on_toolButton_2_clicked()
{
    if (session->packetsWouldBeCut()) {
        const flash::Message message = flash::packetsCutMessage();
        onInformationTip(message.chinese, message.english);
        return;
    }
    session->start(imageData, dspEnd);
    updateRunning = true;
    ui->TBFlush->setEnabled(false);
    ui->toolButton_2->setEnabled(false);
}

void MainWindow::Slot_SecondCommand()
{
    session->sendEnterUpdate();
}

int MainWindow::DSPShakeHand()
{
    return session->sendDspHandshake();
}

int MainWindow::ARMShakeHand()
{
    return session->sendArmHandshake();
}

void MainWindow::onToolButton_Three()
{
    ARMShakeHand();
}

int MainWindow::DSPbinFileSend(int nnum, int number)
{
    return session->sendDspPacket(nnum, number);
}

int MainWindow::ARMbinFileSend(int nnum, int number)
{
    return session->sendArmPacket(nnum, number);
}

int MainWindow::SendDSPData()
{
    return session->sendDspData();
}

int MainWindow::SendARMData()
{
    return session->sendArmData();
}

void MainWindow::UpgradeDelayTimer()
{
    session->watchdogTick();
}

void MainWindow::customEvent(QEvent *event)
{
    if (event->type() != USBEvent::EventType)
        return;
    const auto *report = dynamic_cast<USBEvent *>(event);
    if (report && report->reportId == 0x80)
        session->handleReply(report->data);
}

void MainWindow::showCompletion()
{
    if (messageboxes::completion(locale))
        endProcess(0);
}

} // namespace updater
