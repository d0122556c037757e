// Choosing and checking the firmware file.
#include "ui_mainwindow.h"
#include <flash/firmwareimage.h>
#include <signature/imagesignature.h>
#include <updater/mainwindow.h>

#include <QFileDialog>

namespace updater {

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

    return firmware::openCode(error, image, deviceVersion);
}

int MainWindow::slot_VersionCheck()
{
    return firmware::versionCheck(link().productId, deviceVersion, fileVersion);
}

void MainWindow::on_TBFlush_clicked()
{
    ui->toolButton_2->setEnabled(false);
    GetTheFilePath();
    ui->line_path->setText(filePath);
    ui->toolButton_2->setEnabled(checkChosenFile());
}

bool MainWindow::checkChosenFile()
{
    const int opened = OpenTheFile();
    // The family rule is asked only of a file that could be read.
    const int family = filePath.isEmpty() || opened == 3 ? 1 : slot_VersionCheck();
    const firmware::Verdict verdict = firmware::judge(!filePath.isEmpty(), opened, family);
    const firmware::Tip tip = firmware::tipFor(verdict);
    if (!tip.english.isEmpty())
        onInformationTip(tip.chinese, tip.english);
    return firmware::accepted(verdict) && checkSignature();
}

// A missing signature leaves a technician's own build usable, labelled unsigned.
bool MainWindow::checkSignature()
{
    const imagesignature::Result result = imagesignature::check(imageData, loadedPath, signingKey);
    const imagesignature::Text label = imagesignature::label(result);
    if (!label.english.isEmpty())
        ui->LB_VersionTip->setText(ui->LB_VersionTip->text() + QLatin1Char('\n') +
                                   (chinese() ? label.chinese : label.english));
    if (result.state != imagesignature::State::Invalid)
        return true;
    const imagesignature::Text tip = imagesignature::refusal();
    onInformationTip(tip.chinese, tip.english);
    return false;
}

} // namespace updater
