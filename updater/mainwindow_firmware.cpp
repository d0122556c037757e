// Choosing and checking the firmware file.
#include "firmwareimage.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QFileDialog>

int MainWindow::GetTheFilePath()
{
    filePath = QFileDialog::getOpenFileName(this, tr("打开文件"), "/home", tr("*.fw"));
    return filePath.isNull() ? -1 : 0;
}

int MainWindow::OpenTheFile()
{
    loadedPath = filePath;
    if (loadedPath.isEmpty())
        return -1;

    firmware::Image image;
    const firmware::LoadError error = firmware::load(loadedPath, &image);
    if (error == firmware::LoadError::None) {
        imageData = image.data;
        dspEnd = image.dspEnd;
        armLength = image.armLength;
        fileVersion = image.fileVersion;
        ui->progressBarColor->setRange(0, imageData.size());
    }

    const QString message =
        chinese()
            ? tr("版本信息:  所选文件版本:%1\n       当前设备版本:%2")
            : tr("Version Message: Selected File Version:%1\n      Current Eequipment Version:%2");
    ui->LB_VersionTip->setText(message.arg(fileVersion).arg(deviceVersion));

    if (error == firmware::LoadError::CannotOpen)
        return 3;
    if (error == firmware::LoadError::TooLarge)
        return 1;
    return firmware::openResult(image, deviceVersion);
}

int MainWindow::slot_VersionCheck()
{
    return firmware::versionCheck(usbLink.productId, deviceVersion, fileVersion);
}

void MainWindow::on_TBFlush_clicked()
{
    ui->toolButton_2->setEnabled(false);
    GetTheFilePath();
    ui->line_path->setText(filePath);
    const int opened = OpenTheFile();

    if (filePath.isEmpty()) {
        onInformationTip(QStringLiteral("文件路径不能为空"),
                         QStringLiteral("File Path Is Not NULL"));
        return;
    }
    if (opened == 3) {
        onInformationTip(QStringLiteral("无法打开所选文件"),
                         QStringLiteral("The selected file cannot be opened"));
        return;
    }
    const int family = slot_VersionCheck();
    if (family == -1) {
        onInformationTip(QStringLiteral("固件文件与当前设备不匹配"),
                         QStringLiteral("The firmware file does not match\n the current device"));
        return;
    }
    if (family == -2) {
        onInformationTip(QStringLiteral("软件类型与当前设备不匹配"),
                         QStringLiteral("The software type does not match\n the current device"));
        return;
    }
    if (opened == 1) {
        onInformationTip(QStringLiteral("文件格式错误"), QStringLiteral("File Format Is Error"));
        return;
    }
    if (opened == 2)
        onInformationTip(
            QStringLiteral("固件文件版本低于当前设备"),
            QStringLiteral("The firmware file version is lower than the current device"));
    ui->toolButton_2->setEnabled(true);
}
