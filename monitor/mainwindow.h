#pragma once
// The monitor's frameless panel: the bar and two lamps follow the device's status
// reports, the ruler follows its value reports, and a finished change on the ruler
// writes the four values back to the device.

#include <flash/deviceconnection.h>
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
    // Talks to the device through `backend`, which outlives the window.
    explicit MainWindow(hidplatform::Backend &backend, QWidget *parent = nullptr);
    // Ends and joins the reader before anything it uses goes away.
    ~MainWindow() override;

    int OpenUSBHandle();
    int USBRegistration();
    // 1 sent, 0 refused by the device, -1 nothing sent (also while another program
    // updates the device). Never shows a message.
    int SendDataToUsb(const unsigned char *report);

    const HidLink &link() const { return connection.link(); }

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
    ReaderThread *makeReader(hidplatform::Handle handle, bool found, QObject *parent);
    void setLamp(QWidget *lamp, bool lit);

    Ui::MainWindow *ui;
    // The link, the reader (one for the window's life) and arrivals and removals.
    flash::DeviceConnection connection;
    bool dragging = false;
    QPoint dragOrigin;
    QByteArray featureReport;
    ReportCoalescer coalescer;
    WriteHold writeHold;
};

} // namespace monitor
