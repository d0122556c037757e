#pragma once
// The monitor's frameless panel: the bar and two lamps follow the device's status
// reports, the ruler follows its value reports, and a finished change on the ruler
// writes the four values back to the device.

#include <hidlink/devicenotifier.h>
#include <hidlink/hidlink.h>
#include <monitor/reportcoalescer.h>
#include <monitor/writehold.h>

#include <QBitArray>
#include <QByteArray>
#include <QMainWindow>
#include <QPoint>

namespace Ui {
class MainWindow;
}

namespace monitor {

class USBThread;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Ends and joins the reader before anything it uses goes away.
    ~MainWindow() override;

    int OpenUSBHandle();
    int USBRegistration();
    // 1 sent, 0 refused by the device, -1 nothing sent. Never shows a message.
    int SendDataToUsb(const unsigned char *report);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;

public slots:
    void onInit();
    void onSendData();
    void onDealData(int data);
    void onDealData800a(QByteArray data);
    void onDealDataLED(QBitArray LedBitArray);

private slots:
    void on_toolButton_released();
    void onSendData800301();

private:
    void startReader();
    void deviceArrived(const QString &path);
    void deviceRemoved(const QString &path);
    bool isOurDevice(const QString &path) const;
    void setLamp(QWidget *lamp, bool lit);

    Ui::MainWindow *ui;
    monitor::USBThread *readerThread = nullptr;
    // Ids, found flag, handles, capabilities and the write-pending flag.
    HidLink link;
    bool dragging = false;
    QPoint dragOrigin;
    QByteArray featureReport;
    ReportCoalescer coalescer;
    WriteHold writeHold;
    DeviceNotifier notifier;
};

} // namespace monitor
