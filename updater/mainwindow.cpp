#include <updater/mainwindow.h>

#include "ui_mainwindow.h"
#include <flash/updatemessages.h>
#include <hidlink/deviceids.h>
#include <updater/helpcontent.h>
#include <updater/helptext.h>
#include <updater/messageboxes.h>
#include <updater/online/cachepath.h>
#include <updater/online/modeltable.h>
#include <updater/versionwait.h>
#include <updater/windowtitle.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTimer>
#include <cstdlib>

namespace updater {

MainWindow::MainWindow(hidplatform::Backend &backend, QWidget *parent, const flash::Timing &timing)
    : QMainWindow(parent), ui(new Ui::MainWindow),
      connection(
          new flash::DeviceConnection(backend, deviceids::VendorId, deviceids::ProductId, this))
{
    // Frameless before the form is built: set afterwards, it re-polishes every widget.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    ui->setupUi(this);
    setWindowTitle(windowTitleFor(link().productId, locale.language()));
    applicationDir = QCoreApplication::applicationDirPath();
    Slot_CheckFile();

    // The session hears every reply of the device straight from the reader.
    session = new flash::UpdateSession(*connection, timing, this);
    connection->setListener(session);
    connect(connection, &flash::DeviceConnection::arrived, this, &MainWindow::onDeviceArrival);
    connect(connection, &flash::DeviceConnection::removed, this, &MainWindow::onDeviceRemoval);
    OpenUSBHandle();
    USBRegistration();
    if (link().deviceFound())
        QTimer::singleShot(timing.versionQueryDelayMs, this, &MainWindow::onGetVersionFromMotor);

    // An early F5 waits as long as the device is given to answer the version query.
    versionWait = new VersionWait(
        timing.versionQueryDelayMs + timing.watchdogTicks * timing.watchdogIntervalMs, this);
    connect(session, &flash::UpdateSession::versionReceived, this,
            [this](const QByteArray &report) {
                versionReport = report;
                deviceVersion = bootprotocol::versionOf(report);
                versionWait->versionArrived();
            });
    connect(session, &flash::UpdateSession::progress, this,
            [this](qint64 offset) { ui->progressBarColor->setValue(double(offset)); });
    // Errors and completion open their boxes from the event loop, never inside a 2 ms
    // tick; a refused write opens its box at once, holding the tick that made it.
    connect(session, &flash::UpdateSession::failed, this, &MainWindow::showError,
            Qt::QueuedConnection);
    connect(session, &flash::UpdateSession::completed, this, &MainWindow::showCompletion,
            Qt::QueuedConnection);
    connect(session, &flash::UpdateSession::writeRefused, this, &MainWindow::showRefusal);

    ui->toolButton_2->setEnabled(false);
    Get_LacaelLanuage();

    connect(ui->TB_Help, &QToolButton::released, this, &MainWindow::onInitHelp);
    setupOnlineCheck();
}

MainWindow::~MainWindow()
{
    cancelOnlineTransfer();
    // Readers post to the session: they end before anything of the window goes.
    connection->closeReading();
    delete ui;
}

bool MainWindow::chinese() const
{
    return locale.language() == QLocale::Chinese;
}

void MainWindow::Get_LacaelLanuage()
{
    if (chinese()) {
        ui->toolButton_2->setText(tr("下载"));
        ui->TBFlush->setText(tr("文件路径"));
    } else {
        ui->toolButton_2->setText(tr("DownLoad"));
        ui->TBFlush->setText(tr("File Path"));
    }
}

void MainWindow::Slot_SetLanguage(int Language)
{
    if (Language == QLocale::Chinese) {
        ui->toolButton_2->setText(tr("开始下载"));
        ui->TBFlush->setText(tr("更新"));
    } else {
        ui->toolButton_2->setText(tr("DownLoad"));
        ui->TBFlush->setText(tr("File Path"));
    }
}

void MainWindow::onInformationTip(QString Chinese, QString English)
{
    messageboxes::show(this, locale, tr("Information"), Chinese, English);
}

void MainWindow::showError(int number)
{
    const flash::Message message = flash::errorMessage(number);
    messageboxes::show(this, locale, tr("Warning"), message.chinese, message.english);
}

void MainWindow::onInitHelp()
{
    const QString picture = HelpText::helpPicturePath(link().productId, locale.language());
    // Built on first use: it would add to every start-up for a dialog seldom opened.
    if (!helpDialog)
        helpDialog = new HelpText(this);
    if (!picture.isEmpty())
        helpDialog->onInsertTheImagic(picture);
    else
        helpDialog->showHelpText(helpcontent::helpText(chinese(), cacheFolder()));
    helpDialog->show();
}

void MainWindow::SetRoundCircleColor(bool blclockWise, QColor &color)
{
    ui->roundCircle->setClockWise(blclockWise);
    ui->roundCircle->setPieColor1Start(color);
    ui->roundCircle->setPieColor1End(color);
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging = true;
    const QPoint at = event->localPos().toPoint();
    dragOrigin[0] = at.x();
    dragOrigin[1] = at.y();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging)
        return;
    const QPoint at = event->localPos().toPoint();
    move(pos() + QPoint(at.x() - dragOrigin[0], at.y() - dragOrigin[1]));
}

void MainWindow::mouseReleaseEvent(QMouseEvent *)
{
    dragging = false;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!closeConfirmed()) {
        event->ignore();
        return;
    }
    cancelOnlineTransfer();
}

bool MainWindow::closeConfirmed()
{
    return !session->running() || messageboxes::closeDuringUpdate(this, locale);
}

void MainWindow::on_toolButton_4_clicked()
{
    onExit();
}

void MainWindow::onExit()
{
    if (!closeConfirmed())
        return;
    cancelOnlineTransfer();
    session->stop();
    connection->closeReading();
    endProcess(0);
}

void MainWindow::endProcess(int code)
{
    // Closing the read handle ends every pending read, so joining the readers is
    // immediate; only then may the process's statics go.
    connection->closeReading();
    std::exit(code);
}

int MainWindow::OpenUSBHandle()
{
    const int result = connection->open();
    QColor color = result == 0 ? QColor(0, 0, 255) : QColor(255, 0, 0);
    SetRoundCircleColor(result == 0, color);
    return result;
}

int MainWindow::USBRegistration()
{
    return connection->registerWindow(reinterpret_cast<void *>(winId()));
}

bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, long *)
{
    connection->handleNativeEvent(eventType, message);
    return false;
}

void MainWindow::onDeviceArrival()
{
    QColor blue(0, 0, 255);
    SetRoundCircleColor(true, blue);
    Slot_SengReadCommand();
}

void MainWindow::onDeviceRemoval()
{
    QColor red(255, 0, 0);
    SetRoundCircleColor(false, red);
}

int MainWindow::SendDataToUsb(const unsigned char *WriteToDeiverBuffer)
{
    HidLink::Refusal why = HidLink::Refusal::None;
    const int result = connection->send(WriteToDeiverBuffer, &why);
    showRefusal(int(why));
    return result;
}

void MainWindow::showRefusal(int refusal)
{
    const auto why = HidLink::Refusal(refusal);
    if (why == HidLink::Refusal::DeviceNotFound)
        messageboxes::show(this, locale, tr("Warning"), tr("设备未找到"),
                           tr("Equipment not found"));
    else if (why == HidLink::Refusal::NoWriteHandle)
        messageboxes::show(this, locale, tr("Warning"),
                           QStringLiteral("无效的写报告句柄，可能是打开设备时失败"),
                           QStringLiteral("Failed to open device"));
    else if (why == HidLink::Refusal::DeviceBusy)
        showDeviceBusy();
}

void MainWindow::showDeviceBusy()
{
    const flash::Message message = flash::deviceBusyMessage();
    messageboxes::show(this, locale, tr("Warning"), message.chinese, message.english);
}

void MainWindow::Slot_CheckFile()
{
    // The cache of the online update: one folder per device model, beside the program when
    // it may write there, else in the user's own data folder, made there when first needed.
    cacheRoot = CacheRoot(applicationDir,
                          QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    if (cacheRoot != applicationDir + "/file")
        return;
    for (const QString &folder : QStringList{QString()} + CacheModelFolders()) {
        const QString path = cacheRoot + QLatin1Char('/') + folder;
        if (!QDir(path).exists())
            QDir().mkpath(path);
    }
}

} // namespace updater
