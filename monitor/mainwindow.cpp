#include <monitor/mainwindow.h>

#include "ui_mainwindow.h"
#include <hidlink/deviceids.h>
#include <hidlink/hidlog.h>
#include <monitor/monitorreports.h>
#include <monitor/nodevicecover.h>
#include <monitor/usbthread.h>

#include <QCoreApplication>
#include <QMouseEvent>

// The images sit in the window's library; a static library does not register them.
// Outside any namespace, as the resource's init function is.
static void initResources()
{
    Q_INIT_RESOURCE(monitor);
}

namespace monitor {

namespace {

const char *const LampLit = "border-image: url(://LED1);";
const char *const LampUnlit = "border-image: url(://LED2);";

QPoint rounded(const QPointF &p)
{
    return QPoint(qRound(p.x()), qRound(p.y()));
}

} // namespace

MainWindow::MainWindow(hidplatform::Backend &backend, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow),
      connection(backend, deviceids::VendorId, deviceids::ProductId, this)
{
    initResources();
    ui->setupUi(this);
    ui->Bar->useCentredValueLayout();

    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);

    connect(&coalescer, &ReportCoalescer::statusReady, this, &MainWindow::onDealData);
    connect(&coalescer, &ReportCoalescer::valuesReady, this, &MainWindow::onDealData800a);
    connect(&coalescer, &ReportCoalescer::lampsReady, this, &MainWindow::onDealDataLED);
    connection.setLifelongReader([this](hidplatform::Handle handle, bool found, QObject *parent) {
        return makeReader(handle, found, parent);
    });
    new NoDeviceCover(ui->Bar, true);
    new NoDeviceCover(ui->Ruler, false);
    connect(&connection, &flash::DeviceConnection::arrived, this,
            [this] { NoDeviceCover::showAll(this, !link().deviceFound()); });
    connect(&connection, &flash::DeviceConnection::removed, this,
            [this] { NoDeviceCover::showAll(this, true); });
    OpenUSBHandle();
    USBRegistration();
    NoDeviceCover::showAll(this, !link().deviceFound());

    onInit();
    connect(ui->Ruler, &SliderRuler::FinalDataChange, this, &MainWindow::onSendData);
    onSendData800301();

    ui->LED5->setStyleSheet(QStringLiteral("border-image:url(://LED2);"));
    ui->LED6->setStyleSheet(QStringLiteral("border-image:url(://LED2);"));
}

MainWindow::~MainWindow()
{
    // Joined first: the reader hands its results to the window.
    connection.closeReading();
    delete ui;
}

int MainWindow::OpenUSBHandle()
{
    return connection.open();
}

int MainWindow::USBRegistration()
{
    return connection.registerWindow(reinterpret_cast<void *>(winId()));
}

ReaderThread *MainWindow::makeReader(hidplatform::Handle handle, bool found, QObject *parent)
{
    auto *reader = new monitor::USBThread(link().platform(), handle, found, parent);
    // Queued into the GUI thread, then handed on in batches of one frame.
    // Connected before the start, so that not even the first report is missed.
    connect(reader, &monitor::USBThread::ReportDataBuffer, &coalescer,
            &ReportCoalescer::takeStatus);
    connect(reader, &monitor::USBThread::ReportDataBuffer800a, &coalescer,
            &ReportCoalescer::takeValues);
    connect(reader, &monitor::USBThread::ReportDataBufferLed, &coalescer,
            &ReportCoalescer::takeLamps);
    return reader;
}

void MainWindow::onInit()
{
    ui->Ruler->setValue(0.0, 1);
    ui->Ruler->setValue(1024.0, 2);
    ui->Ruler->setValue(3072.0, 3);
    ui->Ruler->setValue(4095.0, 4);
}

void MainWindow::on_toolButton_released()
{
    QCoreApplication::quit();
}

bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, long *)
{
    // Windows brings arrivals and removals as messages; other systems through the
    // backend. Either way the connection follows them.
    connection.handleNativeEvent(eventType, message);
    return false;
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging = true;
    dragOrigin = rounded(event->localPos());
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging)
        move(pos() + rounded(event->localPos()) - dragOrigin);
}

void MainWindow::mouseReleaseEvent(QMouseEvent *)
{
    dragging = false;
}

void MainWindow::onDealData(int data)
{
    ui->Bar->setValue(data);
}

void MainWindow::onDealData800a(QByteArray data)
{
    const std::array<int, 4> values = monitorreports::decodeValues(data);
    if (!writeHold.accepts(values))
        return;
    for (int i = 0; i < 4; ++i)
        ui->Ruler->setValue(double(values[i]), i + 1);
}

void MainWindow::onDealDataLED(QBitArray LedBitArray)
{
    setLamp(ui->LED5, LedBitArray.testBit(0));
    setLamp(ui->LED6, LedBitArray.testBit(1));
}

void MainWindow::setLamp(QWidget *lamp, bool lit)
{
    // Setting a style sheet reloads its image even when the text is the same; at a
    // thousand status reports a second that alone took a fifth of a core.
    const QString sheet = QLatin1String(lit ? LampLit : LampUnlit);
    if (lamp->styleSheet() != sheet)
        lamp->setStyleSheet(sheet);
}

void MainWindow::onSendData()
{
    std::array<double, 4> values;
    for (int i = 0; i < 4; ++i)
        values[i] = ui->Ruler->getValue(i);
    featureReport = monitorreports::setValuesReport(values);
    qCDebug(lcReports) << " numnber>>>>"
                       << quint16(quint8(featureReport[5]) | quint8(featureReport[6]) << 8);
    if (SendDataToUsb(reinterpret_cast<const unsigned char *>(featureReport.constData())) == 1)
        writeHold.wrote(values);
}

void MainWindow::onSendData800301()
{
    featureReport = monitorreports::versionQuery();
    SendDataToUsb(reinterpret_cast<const unsigned char *>(featureReport.constData()));
}

int MainWindow::SendDataToUsb(const unsigned char *report)
{
    const int result = connection.send(report);
    if (result != -1)
        qCDebug(lcReports) << "Length>>>>>>>>>>>>>>> " << link().lastWriteLength();
    return result;
}

} // namespace monitor
