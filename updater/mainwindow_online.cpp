// The online check: the device's model and version against the update server, and the
// download of a newer image, which then becomes the image the start button flashes.
// Every transfer runs on a worker thread while this one waits for it as for a modal
// dialog: the flow reads as before, the window stays live, and Esc cancels.
#include "ui_mainwindow.h"
#include <flash/firmwareimage.h>
#include <updater/mainwindow.h>
#include <updater/online/cachepath.h>
#include <updater/online/downloadcheck.h>
#include <updater/online/modeltable.h>
#include <updater/online/onlineupdate.h>
#include <updater/online/onlineworker.h>
#include <updater/online/urlfetch.h>
#include <updater/online/versionline.h>
#include <updater/versionwait.h>

#include <QAction>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QShortcut>

namespace updater {

void MainWindow::setupOnlineCheck()
{
    const QString name = QStringLiteral("onlineCheckShortcut");
    if (findChild<QShortcut *>(name))
        return;
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_F5), this);
    shortcut->setObjectName(name);
    connect(shortcut, &QShortcut::activated, this, &MainWindow::onlineCheckRequested);
    auto *cancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(cancel, &QShortcut::activated, this, [this] {
        if (onlineWorker)
            onlineWorker->cancel();
    });
    // F5 alone is found by nobody: the background's context menu names it.
    auto *check = new QAction(chinese() ? QStringLiteral("检查新固件 (F5)")
                                        : QStringLiteral("Check for new firmware (F5)"),
                              this);
    check->setObjectName(QStringLiteral("onlineCheckAction"));
    connect(check, &QAction::triggered, this, &MainWindow::onlineCheckRequested);
    addAction(check);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    // From the event loop: the reply arrives inside the reader's event.
    connect(versionWait, &VersionWait::ready, this, &MainWindow::onlineCheckRequested,
            Qt::QueuedConnection);
    connect(versionWait, &VersionWait::gaveUp, this, [this] {
        onInformationTip(QStringLiteral("设备没有报告版本，无法检查新固件。请连接设备后再按 F5。"),
                         QStringLiteral("The device did not report its version, so no check "
                                        "for new firmware could run. Connect the device and "
                                        "press F5 again."));
    });
}

void MainWindow::onlineCheckRequested()
{
    // TBFlush is disabled once an update runs, and while a transfer runs: the image must
    // not change under it.
    if (!ui->TBFlush->isEnabled() || onlineWorker)
        return;
    if (versionReport.isEmpty()) {
        versionWait->start();
        return;
    }
    onlineImageLoaded = false;
    onlineCancelled = false;
    const QString serverNameBefore = serverFileName;
    Slot_GetRobotVersion(true);
    if (onlineCancelled) {
        // Back to where F5 found the window, F5 included.
        versionChecked = false;
        serverFileName = serverNameBefore;
    }
    // A check that brought no image leaves the offline path usable.
    if (!onlineImageLoaded)
        ui->TBFlush->setEnabled(true);
}

int MainWindow::runOnlineTransfer(const std::function<int(TransferControl &)> &job)
{
    if (onlineWorker)
        return -1; // one transfer at a time
    // The buttons are inert while it runs and the bar shows it; all as before afterwards.
    const bool startEnabled = ui->toolButton_2->isEnabled();
    const bool fileEnabled = ui->TBFlush->isEnabled();
    ProgressBarColor *bar = ui->progressBarColor;
    const double barMin = bar->getMinValue();
    const double barMax = bar->getMaxValue();
    const double barValue = bar->getValue();
    ui->toolButton_2->setEnabled(false);
    ui->TBFlush->setEnabled(false);

    OnlineWorker worker(job, this);
    worker.setObjectName(QStringLiteral("onlineTransfer"));
    connect(&worker, &OnlineWorker::progress, bar, [bar](qint64 received, qint64 expected) {
        if (expected > 0)
            bar->setRange(0.0, double(expected));
        bar->setValue(double(received));
    });
    QEventLoop loop;
    bool ended = false;
    connect(&worker, &QThread::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    onlineWorker = &worker;
    worker.start();
    // A thread that could not start never finishes: there is nothing to wait for.
    const bool started = worker.isRunning() || worker.isFinished();
    if (started) {
        const BusyCursor busy; // from F5 on, also while the server is still being reached
        loop.exec();
    }
    // The loop also ends when the application quits: the transfer goes with it, and
    // whatever it had done counts for nothing.
    const bool quitting = started && !ended;
    if (quitting)
        worker.cancel();
    worker.wait();
    onlineWorker = nullptr;

    bar->setRange(barMin, barMax);
    bar->setValue(barValue);
    ui->toolButton_2->setEnabled(startEnabled);
    ui->TBFlush->setEnabled(fileEnabled);
    // Quitting, nothing more is said; a thread that did not start failed like any transfer.
    onlineCancelled = worker.isCancelled() || quitting;
    return ended ? worker.result() : OnlineWorker::Failed;
}

void MainWindow::cancelOnlineTransfer()
{
    if (!onlineWorker)
        return;
    onlineWorker->cancel();
    onlineWorker->wait();
}

int MainWindow::Slot_GetRobotVersion(bool power)
{
    if (versionReport.isEmpty() || versionReport.isNull() || versionChecked ||
        versionReport.size() < 8)
        return -1;
    versionChecked = true;

    const int version = bootprotocol::versionOf(versionReport);
    deviceVersionText = QString::number(version, 10);
    const std::optional<ModelEntry> model = ModelForVersion(deviceVersionText.toInt());
    if (!model) {
        QMessageBox::warning(this, tr("Warning"), tr("Version of the error"), QMessageBox::Ok);
        return -1;
    }
    QStringList lines;
    if (Slot_LoadingMessageFile(model->versionFile, model->versionFile, lines) == -1 ||
        lines.isEmpty()) {
        if (onlineCancelled)
            return -1;
        QMessageBox::warning(this, tr("Warning"), tr("checking your netWork,And Restart!"),
                             QMessageBox::Ok);
        return -1;
    }
    if (ServerHasNewer(deviceVersionText, lines.first())) {
        const int answer =
            QMessageBox::information(this, tr("Information"), tr("new firmware,updata or not？"),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::Yes)
            Slot_LoadBinToOne(model->versionFile, model->versionFile);
        return 0;
    }
    if (power)
        QMessageBox::information(this, tr("Warning"), tr("Latest version"), QMessageBox::Yes);
    return 1;
}

void MainWindow::Slot_AutoFlushFile()
{
    Slot_GetRobotVersion(false);
}

int MainWindow::Slot_LoadingMessageFile(QString ServerPath, QString SavePath, QStringList &FileData)
{
    serverFileName = ServerPath;
    ui->TBFlush->setEnabled(false);
    const UpdateServer server = updateServer;
    const QString cache = cacheFolder();
    return runOnlineTransfer([&, server, cache](TransferControl &control) {
        return OnlineUpdate(server, cache, &control)
            .LoadVersionFile(ServerPath, SavePath, FileData);
    });
}

int MainWindow::ReadTxtFile(QString FilePath, QStringList &data)
{
    return ReadTextLines(FilePath, data);
}

int MainWindow::ReadIniFile(QString FilePath, QString stGroupName, QString stName, QString &data)
{
    if (!QFile::exists(FilePath))
        return 0;
    QSettings settings(FilePath, QSettings::IniFormat);
    data = settings.value(QLatin1Char('/') + stGroupName + QLatin1Char('/') + stName).toString();
    return 0;
}

void MainWindow::Slot_LoadBinToOne(QString FtpPathName, QString SavePCname)
{
    QStringList lines;
    if (Slot_LoadingMessageFile(FtpPathName, SavePCname, lines) == -1 || lines.isEmpty()) {
        if (!onlineCancelled)
            QMessageBox::warning(this, tr("Warning"), tr("checking your netWork,And Restart!"),
                                 QMessageBox::Ok);
        return;
    }
    const QString model = SavePCname.left(7);
    serverFileName = ImageServerPath(model, lines.first());
    QString imagePath;
    const UpdateServer server = updateServer;
    const QString cache = cacheFolder();
    const bool signatureNeeded = !signingKey.isEmpty();
    const int result = runOnlineTransfer([&, server, cache](TransferControl &control) {
        const OnlineUpdate update(server, cache, &control);
        const int fetched = update.FetchImageByUrl(model, lines.first(), &imagePath);
        // A signature that does not come is refused with the image below.
        if (fetched == 0 && signatureNeeded)
            update.FetchSignature(model, lines.first());
        return fetched;
    });
    // An image that is not proven stays nowhere, not even after a cancel.
    const downloadcheck::Refusal refusal =
        result == 0 ? downloadcheck::checkAndKeep(imagePath, lines.first(), signingKey)
                    : downloadcheck::Refusal();
    if (onlineCancelled)
        return;
    if (!refusal.english.isEmpty()) {
        refuseDownloadedImage(refusal.chinese, refusal.english);
        return;
    }
    // A failed fetch is said: after a Yes, silence would look like nothing happened.
    if (result == 0) {
        FlushFileTip(0);
        loadDownloadedImage(imagePath);
    } else {
        FlushFileTip(1);
    }
    filePath = imagePath;
}

void MainWindow::Slot_LoadBinToTwo()
{
    QStringList lines;
    if (Slot_LoadingMessageFile(QStringLiteral("/VKP2000/VKP2000.txt"),
                                QStringLiteral("VKP2000/VKP2000.txt"), lines) == -1 ||
        lines.isEmpty()) {
        if (!onlineCancelled)
            QMessageBox::warning(this, tr("Warning"), tr("checking your netWork,And Restart!"),
                                 QMessageBox::Ok);
        return;
    }
    serverFileName = QStringLiteral("VKP2000/%1.bin").arg(lines.first());
    LoadFile(serverFileName, cacheFolder());
}

void MainWindow::Slot_LoadBinToThree()
{
    QStringList lines;
    if (Slot_LoadingMessageFile(QStringLiteral("/VKP3000/VKP3000.txt"),
                                QStringLiteral("VKP3000/VKP3000.txt"), lines) == -1 ||
        lines.isEmpty()) {
        if (!onlineCancelled)
            QMessageBox::warning(this, tr("Warning"), tr("checking your netWork,And Restart!"),
                                 QMessageBox::Ok);
        return;
    }
    serverFileName = QStringLiteral("VKP3000/%1.bin").arg(lines.first());
    LoadFile(serverFileName, cacheFolder());
}

void MainWindow::LoadFile(QString FileName, QString FileNameLocalPath)
{
    const UpdateServer server = updateServer;
    const QString cache = cacheFolder();
    const auto result = OnlineUpdate::FtpResult(runOnlineTransfer([=](TransferControl &control) {
        return int(OnlineUpdate(server, cache, &control).FetchByFtp(FileName, FileNameLocalPath));
    }));
    if (onlineCancelled)
        return;
    if (result == OnlineUpdate::FtpResult::Missing) {
        QMessageBox::warning(this, tr("Warning"), tr("Update failed"), QMessageBox::Yes);
        return;
    }
    if (!FileName.contains(QLatin1String("bin")))
        return;
    const bool done = result == OnlineUpdate::FtpResult::Done;
    // This path fetches no signature: with a key its image is refused as unsigned.
    const downloadcheck::Refusal refusal =
        done ? downloadcheck::checkAndKeep(CachePath(FileNameLocalPath, FileName),
                                           QFileInfo(FileName).completeBaseName(), signingKey)
             : downloadcheck::Refusal();
    if (!refusal.english.isEmpty()) {
        refuseDownloadedImage(refusal.chinese, refusal.english);
        return;
    }
    FlushFileTip(done ? 0 : 1);
    if (done)
        loadDownloadedImage(CachePath(FileNameLocalPath, FileName));
}

void MainWindow::FlushFileTip(int NUm)
{
    if (QLocale().language() == QLocale::Chinese)
        QMessageBox::information(this, tr("提示"), NUm == 0 ? tr("更新成功") : tr("更新失败"),
                                 QMessageBox::Yes);
    else
        QMessageBox::warning(this, tr("Warning"),
                             NUm == 0 ? tr("Update is Successful") : tr("Update is failed"),
                             QMessageBox::Yes);
}

void MainWindow::refuseDownloadedImage(const QString &chineseWhy, const QString &englishWhy)
{
    if (QLocale().language() == QLocale::Chinese)
        QMessageBox::information(this, tr("提示"), tr("更新失败") + QLatin1Char('\n') + chineseWhy,
                                 QMessageBox::Yes);
    else
        QMessageBox::warning(this, tr("Warning"),
                             tr("Update is failed") + QLatin1Char('\n') + englishWhy,
                             QMessageBox::Yes);
}

QString MainWindow::SetFileFlushName()
{
    return serverFileName;
}

int MainWindow::Slot_CurlTest(QString FtpFilePath, QString LoadingLocalPath)
{
    const UpdateServer server = updateServer;
    return runOnlineTransfer([=](TransferControl &control) {
        return UrlFetch(server).Fetch(FtpFilePath, LoadingLocalPath, firmware::MaxFileSize,
                                      &control);
    });
}

void MainWindow::Slot_SetFtpThreadLoadingStatus()
{
    // Nothing reports here: no flow of the updater starts an FtpThread.
}

// The downloaded image goes through the same loading and checks as a chosen file; the
// start button is enabled only for an image that passes them.
bool MainWindow::loadDownloadedImage(const QString &path)
{
    ui->toolButton_2->setEnabled(false);
    filePath = path;
    ui->line_path->setText(filePath);
    if (!checkChosenFile())
        return false;
    ui->toolButton_2->setEnabled(true);
    onlineImageLoaded = true;
    return true;
}

} // namespace updater
