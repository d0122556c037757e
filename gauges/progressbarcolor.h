#pragma once

#include <gauges/progressbargeometry.h>

#include <QColor>
#include <QWidget>

// A horizontal bar gauge that paints itself completely: a rounded track, a
// filled bar, optional separator lines and a label box. A new widget has the
// updater's percentage layout; the monitor switches it with useCentredValueLayout().
class ProgressBarColor : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double minValue READ getMinValue WRITE setMinValue)
    Q_PROPERTY(double maxValue READ getMaxValue WRITE setMaxValue)
    Q_PROPERTY(double value READ getValue WRITE setValue)
    Q_PROPERTY(int precision READ getPrecision WRITE setPrecision)
    // Published as double for forms, stored as whole pixels.
    Q_PROPERTY(double step READ getStep WRITE writeStepProperty)
    Q_PROPERTY(double space READ getSpace WRITE writeSpaceProperty)
    Q_PROPERTY(double radius READ getRadius WRITE writeRadiusProperty)
    Q_PROPERTY(QColor bgColorStart READ getBgColorStart WRITE setBgColorStart)
    Q_PROPERTY(QColor bgColorEnd READ getBgColorEnd WRITE setBgColorEnd)
    Q_PROPERTY(QColor lineColor READ getLineColor WRITE setLineColor)
    Q_PROPERTY(QColor textColor READ getTextColor WRITE setTextColor)
    Q_PROPERTY(QColor barBgColor READ getBarBgColor WRITE setBarBgColor)
    Q_PROPERTY(QColor barColor READ getBarColor WRITE setBarColor)

public:
    explicit ProgressBarColor(QWidget *parent = nullptr);

    // Switches to the monitor's look: the value centred on the bar over a
    // gradient background, with the monitor's default settings (range 0..4096,
    // full bar, no margins, transparent track, Arial at 3 pt).
    void useCentredValueLayout();
    ProgressBarLayout labelLayout() const { return layout; }

    double getMinValue() const { return minValue; }
    double getMaxValue() const { return maxValue; }
    double getValue() const { return value; }
    int getPrecision() const { return precision; }
    int getStep() const { return step; }
    int getSpace() const { return space; }
    int getRadius() const { return radius; }
    QColor getBgColorStart() const { return bgColorStart; }
    QColor getBgColorEnd() const { return bgColorEnd; }
    QColor getLineColor() const { return lineColor; }
    QColor getTextColor() const { return textColor; }
    QColor getBarBgColor() const { return barBgColor; }
    QColor getBarColor() const { return barColor; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void valueChanged(double value);

public slots:
    void setRange(double minValue, double maxValue);
    void setRange(int minValue, int maxValue);
    void setMinValue(double minValue);
    void setMaxValue(double maxValue);
    void setValue(double value);
    void setValue(int value);
    void setPrecision(int precision);
    void setStep(int step);
    void setSpace(int space);
    void setRadius(int radius);
    void setBgColorStart(const QColor &bgColorStart);
    void setBgColorEnd(const QColor &bgColorEnd);
    void setLineColor(const QColor &lineColor);
    void setTextColor(const QColor &textColor);
    void setBarBgColor(const QColor &barBgColor);
    void setBarColor(const QColor &barColor);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void writeStepProperty(double step);
    void writeSpaceProperty(double space);
    void writeRadiusProperty(double radius);
    void setColor(QColor &field, const QColor &color);
    void drawBackground(QPainter *painter);
    void drawBar(QPainter *painter);

    ProgressBarLayout layout = ProgressBarLayout::Percentage;

    double maxValue = 100.0;
    double minValue = 0.0;
    double value = 0.0;
    int precision = 0;
    int step = 0;
    int space = 5;
    int radius = 5;
    QColor bgColorStart{100, 100, 100};
    QColor bgColorEnd{60, 60, 60};
    QColor lineColor{230, 230, 230};
    QColor textColor{250, 250, 250};
    QColor barBgColor{250, 250, 250};
    QColor barColor{100, 184, 255};
};
