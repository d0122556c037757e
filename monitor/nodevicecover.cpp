#include <monitor/nodevicecover.h>

#include <QEvent>
#include <QLocale>
#include <QPainter>

NoDeviceCover::NoDeviceCover(QWidget *gauge, bool withText) : QWidget(gauge)
{
    if (withText)
        label = QLocale().language() == QLocale::Chinese ? QStringLiteral("未连接设备")
                                                         : QStringLiteral("No device");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(gauge->rect());
    gauge->installEventFilter(this);
    raise();
}

void NoDeviceCover::showAll(QWidget *window, bool noDevice)
{
    for (NoDeviceCover *cover : window->findChildren<NoDeviceCover *>()) {
        cover->setVisible(noDevice);
        if (noDevice)
            cover->raise(); // above children the gauge made meanwhile
    }
}

bool NoDeviceCover::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void NoDeviceCover::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 170));
    if (label.isEmpty())
        return;
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(qBound(10, height() / 2, 18));
    painter.setFont(font);
    painter.setPen(QColor(230, 230, 230));
    painter.drawText(rect(), Qt::AlignCenter, label);
}
