#pragma once
// A horizontal ruler with four ordered handles. Each handle is dragged by its grip
// or set by typing into the small line edit that rides above it; the end of a drag
// or a confirmed number is announced with FinalDataChange().

#include <QColor>
#include <QLineF>
#include <QMutex>
#include <QRectF>
#include <QWidget>

class QLineEdit;

class SliderRuler : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double minValue READ getMinValue WRITE setMinValue)
    Q_PROPERTY(double maxValue READ getMaxValue WRITE setMaxValue)
    Q_PROPERTY(double value READ getValue WRITE setValue)
    Q_PROPERTY(int precision READ getPrecision WRITE setPrecision)
    Q_PROPERTY(int longStep READ getLongStep WRITE setLongStep)
    Q_PROPERTY(int shortStep READ getShortStep WRITE setShortStep)
    Q_PROPERTY(int space READ getSpace WRITE setSpace)
    Q_PROPERTY(QColor bgColorStart READ getBgColorStart WRITE setBgColorStart)
    Q_PROPERTY(QColor bgColorEnd READ getBgColorEnd WRITE setBgColorEnd)
    Q_PROPERTY(QColor lineColor READ getLineColor WRITE setLineColor)
    Q_PROPERTY(QColor sliderColorTop READ getSliderColorTop WRITE setSliderColorTop)
    Q_PROPERTY(QColor sliderColorBottom READ getSliderColorBottom WRITE setSliderColorBottom)
    Q_PROPERTY(QColor tipBgColor READ getTipBgColor WRITE setTipBgColor)
    Q_PROPERTY(QColor tipTextColor READ getTipTextColor WRITE setTipTextColor)

public:
    static constexpr int HandleCount = 4;

    explicit SliderRuler(QWidget *parent = nullptr);

    double getMinValue() const { return minValue; }
    double getMaxValue() const { return maxValue; }
    double getValue() const { return value; }
    // The value of handle index + 1; an index outside 0..3 gives handle 1.
    double getValue(int index) const;
    int getPrecision() const { return precision; }
    int getLongStep() const { return longStep; }
    int getShortStep() const { return shortStep; }
    int getSpace() const { return space; }
    QColor getBgColorStart() const { return bgColorStart; }
    QColor getBgColorEnd() const { return bgColorEnd; }
    QColor getLineColor() const { return lineColor; }
    QColor getSliderColorTop() const { return sliderColorTop; }
    QColor getSliderColorBottom() const { return sliderColorBottom; }
    QColor getTipBgColor() const { return tipBgColor; }
    QColor getTipTextColor() const { return tipTextColor; }

    // Pixel x of handle index + 1 on the scale (index 0..3).
    double handleX(int index) const;
    static QColor handleColor(int index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void valueChanged(double value);
    void FinalDataChange();

public slots:
    void setRange(double minValue, double maxValue);
    void setRange(int minValue, int maxValue);
    void setMinValue(double minValue);
    void setMaxValue(double maxValue);
    void setValue(double value, int num);
    void setValue(double value);
    void setValue(int value);
    void setPrecision(int precision);
    void setLongStep(int longStep);
    void setShortStep(int shortStep);
    void setSpace(int space);
    void setBgColorStart(QColor bgColorStart);
    void setBgColorEnd(QColor bgColorEnd);
    void setLineColor(QColor lineColor);
    void setSliderColorTop(QColor sliderColorTop);
    void setSliderColorBottom(QColor sliderColorBottom);
    void setTipBgColor(QColor tipBgColor);
    void setTipTextColor(QColor tipTextColor);

private slots:
    void Slot_SetLabelStyle();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // Escape, and leaving an editor for another control of ours, show the handle's
    // value again instead of what was typed.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    double xForValue(double v) const;
    // Whether handle `num` (1..4) may take `value` between its neighbours.
    bool fits(double value, int num) const;
    // Digits only, as many as the scale's maximum has.
    void limitEdits();
    // A red frame on an editor whose number was refused, until it changes.
    void markRefused(int index, bool refused);
    void placeEdit(int index, int x, int y, double v);
    void restoreEdit(int index);
    void updateLengths();
    // Where the handles' grips begin, below their markers.
    double gripTop() const;
    // The ruler's font, smaller where a line of it is taller than `room`.
    QFont fittedFont(double room) const;
    void drawBackground(QPainter *painter);
    void drawScale(QPainter *painter);
    void drawTicks(QPainter *painter);
    void drawHandle(QPainter *painter, int index);

    double value = 0;
    double maxValue = 4096;
    double minValue = 0;
    int precision = 0;
    int longStep = 256;
    int shortStep = 32;
    int space = 13;
    QColor bgColorStart{0, 0, 0};
    QColor bgColorEnd{0, 0, 0};
    QColor lineColor{255, 255, 255};
    QColor sliderColorTop{85, 170, 255};
    QColor sliderColorBottom{235, 235, 235};
    QColor tipBgColor{255, 255, 255};
    QColor tipTextColor{50, 50, 50};

    quint8 pressedHandle = 0; // 0 = none, 1..4 = the handle being dragged
    double handleValues[HandleCount] = {0, 1024, 3072, 4095};
    double longTickLength = 0;
    double shortTickLength = 0;
    double markerHeight = 0;
    double gripHeight = 0;
    double handleXs[HandleCount];
    QRectF gripRects[HandleCount];
    QLineEdit *lineEdits[HandleCount];
    QLineF scaleLine;
    QMutex labelMutex;
};
