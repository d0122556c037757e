#pragma once

#include "bootprotocol.h"
#include "hidlink.h"

#include <QByteArray>
#include <QLocale>
#include <QMainWindow>
#include <QString>

namespace Ui {
class MainWindow;
}
class DeviceNotifier;
class QTimer;
class USBThread;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    const HidLink &link() const { return usbLink; }
    quint16 deviceVersionValue() const { return deviceVersion; }
    QByteArray versionReportValue() const { return versionReport; }
    USBThread *currentReader() const { return readerThread; }

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

    // Online update.
    void Slot_CheckFile();

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
    void onDeviceArrival(const QString &path);
    void onDeviceRemoval(const QString &path);

private:
    bool chinese() const;
    void showError(int number);
    bool showCompletionBox();
    void startReader();
    void finishReaders();
    void dispatchReply(const QByteArray &report);

    Ui::MainWindow *ui;
    QLocale locale;
    bool dragging = false;
    int dragOrigin[2] = {0, 0};
    QString applicationDir;

    // Device link.
    HidLink usbLink;
    USBThread *readerThread = nullptr;
    DeviceNotifier *notifier = nullptr;
    bool deviceInserted = false;
    bool deviceRemoved = false;

    // Firmware image.
    QString filePath;
    QString loadedPath;
    QByteArray imageData;
    qint64 dspEnd = 0;
    qint64 armLength = 0;
    qint32 fileVersion = 0;

    // Update protocol.
    quint16 deviceVersion = 0;
    QByteArray versionReport;
    bool updateModeAck = false;
    quint8 delayTicks = 0;
    bool dspHandshakeSent = false;
    bool dspAck = false;
    bool armAck = false;
    bool dspEndSent = false;
    bool armEndSent = false;
    bool confirmSeen = false;
    int dspPacket = 0;
    int armPacket = 0;
    quint16 dspTicks = 0;
    quint16 armTicks = 0;
    QTimer *dspTimer = nullptr;
    QTimer *armTimer = nullptr;
    QTimer *upgradeDelayTimer = nullptr;
    bootprotocol::Command packet{}; // reused by every data packet
};
