#pragma once

#include <QByteArray>
#include <QEvent>

// One input report with report id 0x80, carried from the reader to the window.
class USBEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(QEvent::User + 1);

    explicit USBEvent(const QByteArray &report);

    const QByteArray data;
    const quint8 reportId;
};
