#include <flash/usbevent.h>

USBEvent::USBEvent(const QByteArray &report)
    : QEvent(EventType), data(report),
      reportId(report.isEmpty() ? 0 : static_cast<quint8>(report.at(0)))
{
}
