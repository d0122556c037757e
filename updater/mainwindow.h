#pragma once

#include <flash/deviceconnection.h>
#include <flash/updatesession.h>
#include <signature/imagesignature.h>
#include <updater/online/updateserver.h>

#include <QByteArray>
#include <QLocale>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>

namespace Ui {
class MainWindow;
}
class HelpText;
class OnlineWorker;
class QTimer;
struct TransferControl;
class VersionWait;

namespace updater {

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Talks to the device through `backend`, which outlives the window.
    explicit MainWindow(hidplatform::Backend &backend, QWidget *parent = nullptr,
                        const flash::Timing &timing = flash::Timing());
    ~MainWindow() override;

    const HidLink &link() const { return connection->link(); }
    quint16 deviceVersionValue() const { return deviceVersion; }
    QByteArray versionReportValue() const { return versionReport; }
    ReaderThread *currentReader() const { return connection->reader(); }

public slots:
    // Window, language and messages.
    void on_toolButton_4_clicked();
    void onExit();
    void Get_LacaelLanuage();
    void Slot_SetLanguage(int Language);
    void onInformationTip(QString Chinese, QString English);
    void SetRoundCircleColor(bool blclockWise, QColor &color);

    // Device link.
    int OpenUSBHandle();
    int USBRegistration();
    int SendDataToUsb(const unsigned char *WriteToDeiverBuffer);

    // Firmware file.
    int GetTheFilePath();
    int OpenTheFile();
    int slot_VersionCheck();
    void on_TBFlush_clicked();

    // Update protocol.
    void onGetVersionFromMotor();
    void Slot_SengReadCommand();
    void on_toolButton_2_clicked();
    void Slot_SecondCommand();
    int DSPShakeHand();
    int ARMShakeHand();
    void onToolButton_Three();
    int DSPbinFileSend(int nnum, int number);
    int ARMbinFileSend(int nnum, int number);
    int SendDSPData();
    int SendARMData();
    void UpgradeDelayTimer();

    // Help.
    void onInitHelp();

    // Online update.
    void Slot_CheckFile();

    // Online update: the check against the update server (mainwindow_online.cpp).
    int Slot_GetRobotVersion(bool power);
    void Slot_AutoFlushFile();
    int Slot_LoadingMessageFile(QString ServerPath, QString SavePath, QStringList &FileData);
    int ReadTxtFile(QString FilePath, QStringList &data);
    int ReadIniFile(QString FilePath, QString stGroupName, QString stName, QString &data);
    void Slot_LoadBinToOne(QString FtpPathName, QString SavePCname);
    void Slot_LoadBinToTwo();
    void Slot_LoadBinToThree();
    void LoadFile(QString FileName, QString FileNameLocalPath);
    void FlushFileTip(int NUm);
    QString SetFileFlushName();
    int Slot_CurlTest(QString FtpFilePath, QString LoadingLocalPath);
    void Slot_SetFtpThreadLoadingStatus();
    // Binds F5 and the context menu to the online check (which runs at most once per
    // program run, unless cancelled), and Esc to cancelling its transfer.
    void setupOnlineCheck();

public:
    // The build's update server unless a test points the check at its own.
    void setUpdateServer(const UpdateServer &server) { updateServer = server; }
    // The build's signing key unless a test gives its own (empty: no signature check).
    void setSigningKey(const QByteArray &key) { signingKey = key; }
    // The program's folder, for tests: the cache's place is chosen again below it.
    void setProgramFolder(const QString &folder)
    {
        applicationDir = folder;
        Slot_CheckFile();
    }
    QString cacheFolder() const { return cacheRoot + QLatin1Char('/'); }

private:
    void onlineCheckRequested();
    bool loadDownloadedImage(const QString &path);
    // Loads filePath and shows its tip: whether the start button may be enabled.
    bool checkChosenFile();
    // With a signing key: names the loaded file's signature on the version label; false
    // (with the tip) when the signature is invalid.
    bool checkSignature();
    // The failure box for a downloaded image refused for its signature or version.
    void refuseDownloadedImage(const QString &chineseWhy, const QString &englishWhy);
    // Runs one transfer on an OnlineWorker and waits for it as for a modal dialog.
    int runOnlineTransfer(const std::function<int(TransferControl &)> &job);
    // Cancels a running transfer and joins its thread.
    void cancelOnlineTransfer();

    QString deviceVersionText;
    bool versionChecked = false;
    QString serverFileName;
    UpdateServer updateServer = UpdateServer::BuildDefault();
    QByteArray signingKey = imagesignature::buildKey();
    bool onlineImageLoaded = false;
    QString cacheRoot;
    OnlineWorker *onlineWorker = nullptr; // the transfer running, if any
    bool onlineCancelled = false;         // the last transfer was cancelled
    VersionWait *versionWait = nullptr;   // F5 before the device's version reply

protected:
    void customEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;

    // Ends the process with `code` (the close button, the completion box). Tests
    // that drive those paths in process replace it.
    virtual void endProcess(int code);

private slots:
    void onDeviceArrival();
    void onDeviceRemoval();

private:
    bool chinese() const;
    void showError(int number);
    void showRefusal(int refusal);
    void showDeviceBusy();
    void showCompletion();

    Ui::MainWindow *ui;
    QLocale locale;
    bool dragging = false;
    int dragOrigin[2] = {0, 0};
    QString applicationDir;
    HelpText *helpDialog = nullptr;

    // The device: link, reader, arrivals and removals, the update lock.
    flash::DeviceConnection *connection;

    // Firmware image.
    QString filePath;
    QString loadedPath;
    QByteArray imageData;
    qint64 dspEnd = 0;
    qint64 armLength = 0;
    qint32 fileVersion = 0;

    // The device's version reply, and the update protocol.
    quint16 deviceVersion = 0;
    QByteArray versionReport;
    flash::UpdateSession *session = nullptr;
    // From the start button until the session fails or completes: closing asks first.
    bool closeConfirmed();
};

} // namespace updater
