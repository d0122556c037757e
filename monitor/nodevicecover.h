#pragma once
// Lies over a gauge while no device is connected: the gauge shows dimmed beneath it,
// with a short "No device" where a text is wanted. Clicks go through to the gauge.

#include <QWidget>

class NoDeviceCover : public QWidget
{
    Q_OBJECT
public:
    // Covers `gauge` wholly, following its size; `withText` writes "No device" on it.
    NoDeviceCover(QWidget *gauge, bool withText);

    QString text() const { return label; }
    // Shows or hides every cover among the children of `window`.
    static void showAll(QWidget *window, bool noDevice);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString label;
};
