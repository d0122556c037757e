// The online check: the device's model and version against the update server, and the
// download of a newer image, which then becomes the image the start button flashes.
// Every transfer blocks this thread, within the time-outs of the update server settings.
#include "cachepath.h"
#include "mainwindow.h"
#include "modeltable.h"
#include "onlineupdate.h"
#include "ui_mainwindow.h"
#include "urlfetch.h"
#include "versionline.h"

#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QShortcut>

QString MainWindow::cacheFolder() const
{
    return applicationDir + QStringLiteral("/file/");
}

void MainWindow::setupOnlineCheck()
{
    const QString name = QStringLiteral("onlineCheckShortcut");
    if (findChild<QShortcut *>(name))
        return;
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_F5), this);
    shortcut->setObjectName(name);
    connect(shortcut, &QShortcut::activated, this, &MainWindow::onlineCheckRequested);
}

void MainWindow::onlineCheckRequested()
{
    // TBFlush is disabled once an update runs: the image must not change under it.
    if (!ui->TBFlush->isEnabled())
        return;
    onlineImageLoaded = false;
    Slot_GetRobotVersion(true);
    // A check that brought no image leaves the offline path usable.
    if (!onlineImageLoaded)
        ui->TBFlush->setEnabled(true);
}

int MainWindow::Slot_GetRobotVersion(bool power)
{
    if (versionReport.isEmpty() || versionReport.isNull() || versionChecked ||
        versionReport.size() < 8)
        return -1;
    versionChecked = true;

    const int version = quint8(versionReport[6]) + 256 * quint8(versionReport[7]);
    deviceVersionText = QString::number(version, 10);
    const std::optional<ModelEntry> model = ModelForVersion(deviceVersionText.toInt());
    if (!model) {
        QMessageBox::warning(this, tr("Warning"), tr("Version of the error"), QMessageBox::Ok);
        return -1;
    }
    QStringList lines;
    if (Slot_LoadingMessageFile(model->versionFile, model->versionFile, lines) == -1) {
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
    return OnlineUpdate(updateServer, cacheFolder())
        .LoadVersionFile(ServerPath, SavePath, FileData);
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
    if (Slot_LoadingMessageFile(FtpPathName, SavePCname, lines) == -1) {
        QMessageBox::warning(this, tr("Warning"), tr("checking your netWork,And Restart!"),
                             QMessageBox::Ok);
        return;
    }
    const QString model = SavePCname.left(7);
    serverFileName = ImageServerPath(model, lines.first());
    QString imagePath;
    const int result =
        OnlineUpdate(updateServer, cacheFolder()).FetchImageByUrl(model, lines.first(), &imagePath);
    if (result == 0) {
        FlushFileTip(0);
        loadDownloadedImage(imagePath);
    }
    filePath = imagePath;
}

void MainWindow::Slot_LoadBinToTwo()
{
    QStringList lines;
    if (Slot_LoadingMessageFile(QStringLiteral("/VKP2000/VKP2000.txt"),
                                QStringLiteral("VKP2000/VKP2000.txt"), lines) == -1) {
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
                                QStringLiteral("VKP3000/VKP3000.txt"), lines) == -1) {
        QMessageBox::warning(this, tr("Warning"), tr("checking your netWork,And Restart!"),
                             QMessageBox::Ok);
        return;
    }
    serverFileName = QStringLiteral("VKP3000/%1.bin").arg(lines.first());
    LoadFile(serverFileName, cacheFolder());
}

void MainWindow::LoadFile(QString FileName, QString FileNameLocalPath)
{
    const OnlineUpdate::FtpResult result =
        OnlineUpdate(updateServer, cacheFolder()).FetchByFtp(FileName, FileNameLocalPath);
    if (result == OnlineUpdate::FtpResult::Missing) {
        QMessageBox::warning(this, tr("Warning"), tr("Update failed"), QMessageBox::Yes);
        return;
    }
    if (!FileName.contains(QLatin1String("bin")))
        return;
    const bool done = result == OnlineUpdate::FtpResult::Done;
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

QString MainWindow::SetFileFlushName()
{
    return serverFileName;
}

int MainWindow::Slot_CurlTest(QString FtpFilePath, QString LoadingLocalPath)
{
    return UrlFetch(updateServer).Fetch(FtpFilePath, LoadingLocalPath);
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
